// The fixed texts of the medconv command. Scripts compare against them, so
// every line is kept exactly as published.
#include "driver/Reports.h"

#include "dicom/qzmDicomDataElementDictionary.h"
#include "driver/DriverState.h"
#include "lib/qzcProgramVersion.h"
#include "codecs/qzmCodecTable.h"
#include "lib/qzcTypes.h"

#include <cstdlib>
#include <iostream>
#include <png.h>
#include <zlib.h>

namespace {

const char* const ProgramName = QZC_PROGRAM_NAME;
const char* const ProgramVersion = QZC_PROGRAM_VERSION;
const char* const AuthorName = "The medconv developers";
const char* const MaintainerAddress = "medconv-maintainers@example.org";
const char* const ProjectPage = "https://example.org/medconv";

// Column of the blanks that introduce the renaming aliases in the help.
const char* const AliasIndent = "             ";

void Line(const char* text) {
  std::cout << text << std::endl;
}

void PrintAliasLines() {
  for (int i = 0; i < RenameAliasCount; ++i)
    std::cout << (i == 0 ? "    alias  : " : AliasIndent) << i << " = " << RenameAliases[i] << std::endl;
  Line(AliasIndent);
}

// The label right-aligned so that its colon stands in column 26.
std::ostream& Label(std::ostream& os, const char* label) {
  return os << qzcString(label).Justified(24, qzcString::Right) << " : ";
}

const char* HostByteOrder() {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  return "byte order is big endian";
#else
  return "byte order is little endian";
#endif
}

}  // namespace

void PrintUsage() {
  std::cout << "Usage: " << ProgramName << " [--help] [--version] [--config] [--timer]"
            << " [--acc=max|min[:file]]"
            << "[--anon[=pn_rm|pn_rp|rm_sel|rm_10|rm_priv|rm_ov|rm_cu|rm_co|rm_all|(gggg,eeee)]]"
            << " [--changepr[=bin|min|val]"
            << " [--compression=no|default|fast|best] [--crop=x:y:w:h]"
            << " [--fliph] [--flipv]"
            << " [--frame=first[:last[:step]]|all[:step]|whole]"
            << " [--get=[max][:min][:mean]] [--halve[=n]] [--mask=zero[:file]]"
            << " [--modality=string] [--halve[=n]] [--mask=zero[:file]] [--jobs[=n]]"
            << " [--name[=y|n]] [--out[=y|n]] [--padding=value] [--rank[=y|n]]"
            << " [--rename=alias|field[:field...]]"
            << " [--resample=no|shift|near|linear] [--reverse]"
            << " [--sort[=type]] [--sample=allocated[:stored[:high]]] [--size=cols:row]"
               " [--spacing=cols:rows[:slice]] [--step=n]"
            << " [--syntax=il|ib|el|eb]"
            << " [--to=path] [--warn[=y|n]] [--win[=center:width[:intercept:slope]]]"
            << " [-a]"
            << " [-d[=il|ib|el|eb]]"
            << " [-j]"
            << " [-p[0|1]]"
            << " [-r[0|1|2]] [-t[0|1]] [-w] [file(s)...]" << std::endl;
  Line("Try --help for more information");
}

void PrintHelp() {
  std::cout << "Usage: " << ProgramName << " [options...] [files...]" << std::endl;
  Line("  --help          : display help");
  Line("  --version       : display name & version");
  Line("  --config        : display build configuration");
  Line("  --timer         : display elapsed time during session");
  Line("  --name[=y|n]    : display name of file being processed, yes|no(default)");
  Line("  --rank[=y|n]    : display rank of file/frame being processed, yes|no(default)");
  Line("  --reverse       : reverse processing order (start with last, after --sort)");
  Line("  --sort[=type]   : sort files to process (type=ext_num)");
  Line("  --step=n        : process every n-th file");
  Line("  --warn[=y|n]    : display warnings, yes(default)|no");
  Line("  --syntax=il|ib|el|eb : read using (i)mplicit|(e)xplicit, (l)ittle|(b)ig endian");
  Line("  --jobs[=n]      : convert n files at a time (default: one per processor), same outputs");
  Line("");
  Line("Frame selection:");
  Line("  --frame=first[:last[:step]]|all[:step]|whole : select frame(s)");
  Line("");
  Line("Renaming:");
  Line("  --rename=alias|field[:field...] : build new file names");
  Line("    fields : cur_(nm|we|ext|rk[0]|fr[0]|cn[0]),");
  Line("             (stu|ser|acq|img) + (da|tm|nb[0]),");
  Line("             modal, nb_fr, photo_i, photo_is,");
  Line("             sam_pp, rows, cols, bits_a, bits_s, high_b, pix_r,");
  Line("             pat_nm, stu_des,");
  Line("             (gggg,eeee),");
  Line("             ren_o");
  PrintAliasLines();
  Line("Anonymizing:");
  Line("  --anon=[field[:field...]] : anonymize data elements (default: pn_rp:rm_all)");
  Line("    fields : pn_rm|pn_rp,");
  Line("             (rm_sel, rm_10, rm_priv, rm_ov, rm_cu, rm_co)|rm_all,");
  Line("             (gggg,eeee)");
  Line("");
  Line("Image processing:");
  Line("  --changepr=mode      : change Pixel Representation (bin|min(default)|val)");
  Line("  --acc=max|min[:file] : save accumulated (default file: acc-mode.dcm)");
  Line("  --mask=zero[:file]   : mask frame (default file: mask-mode.bmp)");
  Line("  --crop=x:y:w:h       : crop frame at x:y (width w, height h)");
  Line("  --halve[=n]          : halve frame in both dimensions (n times)");
  Line("  --fliph, --flipv     : flip frame horizontally/vertically");
  Line("  --get=val[:val...]   : get pixel values in frame, where val is max|min|mean");
  Line("");
  Line("Conversion context:");
  Line("  --compression=type   : compression type (no|default|fast|best)");
  Line("  --out[=y|n]          : output to stdout, yes|no(default)");
  Line("  --resample=method    : resampling method (no|shift|near|linear(default))");
  Line("  --to=path            : destination path (fully expanded, ex: --to=/tmp)");
  Line(
      "  --win[=center:width[:intercept:slope]] : apply windowing"
      " (using optional HU center & width, rescale intercept/slope)");
  Line("");
  Line("Conversion settings:");
  Line("  --modality=string                   : modality if lacking (ex: RAW)");
  Line("  --sample=allocated[:stored[:high]]] : sample structure if lacking (ex: RAW)");
  Line("  --size=cols:row                     : image size if lacking (ex: RAW)");
  Line("  --spacing=col:row[:slice]]          : spacing if lacking (ex: RAW)");
  Line("  --padding=value                     : pixel padding value (if was wrong)");
  Line("");
  Line("Destination formats:");
  Line("  -a                   : TARGA");
  Line("  -d[=il|ib|el|eb]     : DICOM ((i)mplicit|(e)xplicit, (l)ittle|(b)ig endian)");
  Line("  -j                   : JPEG  (already encapsulated JPEG data only)");
  Line("  -p[0|1]              : PNG   (0: include tags as tEXt (default), 1: do not)");
  Line("  -r[0|1|2]            : RAW   (0: little (default), 1: big endian, 2: extract)");
  Line("  -t[0|1]              : TEXT  (0: write to file (default), 1: dump to stdout)");
  Line("  -w                   : BMP");
  Line("");
  std::cout << "Report bugs to " << MaintainerAddress << std::endl;
  std::cout << "More informations at " << ProjectPage << std::endl;
  Line("");
}

void PrintVersion() {
  std::cout << ProgramName << ' ' << ProgramVersion << std::endl;
  std::cout << AuthorName << " (" << MaintainerAddress << ")" << std::endl;
  std::cout << "More informations at " << ProjectPage << std::endl;
  std::cout << "Build time " << __DATE__ << " / " << __TIME__ << ", using :" << std::endl;

  // Loaded before the line starts, so that a report of the search does
  // not cut the line.
  qzmDicomDataElementDictionary dictionary;
  const bool found = dictionary.AutoLoad();
  std::cout << "  - DICOM dictionary ";
  if (found) {
    std::cout << dictionary.source;
    if (!dictionary.label.empty())
      std::cout << " [" << dictionary.label << "]";
    std::cout << " (" << dictionary.size() << " data elements)";
  } else
    std::cout << "(not found)";
  std::cout << std::endl;

  std::cout << "  - libpng " << png_get_libpng_ver(nullptr) << " (zlib " << zlibVersion() << ")" << std::endl;
  std::cout << qzmCodecTable::LibraryVersions();
}

std::ostream& PrintBuildConfiguration(std::ostream& os) {
  Label(os, "HOST, OS (runtime)");
  const char* const variables[] = {"HOSTTYPE", "PROCESSOR_ARCHITECTURE", "OSTYPE", "OS"};
  for (const char* name : variables)
    if (const char* value = std::getenv(name))
      os << value << " (" << name << "), ";
  os << std::endl;
  Label(os, "Compiler") << "gcc/egcs" << std::endl;
  Label(os, "Compiler characteristics") << std::endl;
  Label(os, "Architecture features") << HostByteOrder() << std::endl;
  Label(os, "Libraries") << "zlib"
                         << ", "
                         << "libpng"
                         << ", " << std::endl;
  Label(os, "Library functions") << "mktime()"
                                 << ", " << std::endl;
  Label(os, "Header files") << "fcntl.h"
                            << ", "
                            << "glob.h"
                            << ", "
                            << "sys/time.h"
                            << ", "
                            << "unistd.h"
                            << ", " << std::endl;
  Label(os, "Structures") << "program may include both time.h and sys/time.h"
                          << ", " << std::endl;
  Label(os, "Types") << "UBYTE (" << sizeof(UBYTE) << "), "
                     << "UWORD (" << sizeof(UWORD) << "), "
                     << "ULONG (" << sizeof(ULONG) << "), "
                     << "bool (" << sizeof(bool) << ")" << std::endl;
  Label(os, "Syntaxes decoded");
  for (const qzmCodecTable::Entry& entry : qzmCodecTable::Entries())
    os << entry.Syntax << " (" << entry.Name << "), ";
  os << std::endl;
  return os;
}
