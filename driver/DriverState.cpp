#include "driver/DriverState.h"

thread_local UWORD FileRank = 0;
thread_local UWORD FileCount = 0;
thread_local bool OutputMissing = false;
thread_local FileOrder* CurrentFileOrder = nullptr;

const char* const RenameAliases[RenameAliasCount] = {
    "cur_nm:cur_fr0",
    "pat_nm:cur_rk0",
    "pat_nm:ser_nb:img_da:img_tm",
    "modal:photo_is:nb_fr:rows:cols:bits_a:bits_s:pix_r",
    "modal:photo_is:bits_s:stu_des:cur_nm:ren_o",
    "modal:photo_is:stu_des:rows",
};

const qzcString ExtensionNames[ExtensionCount] = {
    "bmp", "dcm", "gif", "jpg", "raw", "tga", "txt", "tif", "png",
};
