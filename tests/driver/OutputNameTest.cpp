// Output naming: the fields of a --rename pattern on a data set built in
// memory, and, through the program, names that must stay in their folder.
#include "DriverTest.h"

#include "dicom/qzmDicomDataElementSet.h"
#include "driver/OutputName.h"

namespace
{

class OutputNameTest : public ::testing::Test
{
protected:
    qzmDicomDataElementValue& Element( UWORD group, UWORD element )
    {
        return set[qzmDicomDataElementTag( group, element )];
    }

    void SetDate( UWORD group, UWORD element, UBYTE day, UBYTE month, UWORD year )
    {
        auto& date = Element( group, element ).DA();
        date.day = day;
        date.month = month;
        date.year = year;
    }

    void SetTime( UWORD group, UWORD element, UBYTE hour, UBYTE minute, UBYTE second, ULONG fraction )
    {
        auto& time = Element( group, element ).TM();
        time.hour = hour;
        time.minute = minute;
        time.second = second;
        time.fraction = fraction;
    }

    qzcString Name( const char* pattern, UWORD frame = 0, UWORD rank = 1, UWORD count = 1 )
    {
        return BuildOutputName( pattern, set, rank, count, "x.dcm", frame );
    }

    qzmDicomDataElementSet set;
};

TEST_F( OutputNameTest, EmptyPatternKeepsInputNameAndNumbersFramesOfMultiFrameSets )
{
    EXPECT_EQ( "x.dcm", Name( "" ) );
    EXPECT_EQ( "x.dcm", Name( "", 1 ) );
    EXPECT_EQ( "x.dcm", Name( "cur_nm:cur_fr0", 1 ) );
    Element( 0x0028, 0x0008 ).IS() = "5";
    EXPECT_EQ( 5, NumberOfFrames( set ) );
    EXPECT_EQ( "x.dcm-002", Name( "", 2 ) );
    EXPECT_EQ( "x.dcm", Name( "", 0 ) );
    EXPECT_EQ( "x.dcm-2-002", Name( "cur_nm:cur_fr:cur_fr0", 2 ) );
}

TEST_F( OutputNameTest, PatientNameDatesAndTimes )
{
    Element( 0x0010, 0x0010 ).PN() = "DOE^JOHN";
    SetDate( 0x0008, 0x0023, 20, 7, 2001 );
    SetTime( 0x0008, 0x0033, 10, 30, 15, 0 );
    EXPECT_EQ( "DOE_JOHN-i20.07.101-i10.30.15", Name( "pat_nm:img_da:img_tm" ) );

    SetDate( 0x0008, 0x0020, 31, 12, 1999 );
    SetTime( 0x0008, 0x0030, 8, 5, 0, 500000 );
    EXPECT_EQ( "u31.12.99-u08.05.00.500000", Name( "stu_da:stu_tm" ) );

    // A single component has no "_"; missing dates add nothing.
    Element( 0x0010, 0x0010 ).PN() = "SMITH";
    EXPECT_EQ( "SMITH", Name( "pat_nm:acq_da:ser_tm" ) );
    Element( 0x0010, 0x0010 ).PN() = "Van Gogh^Vincent";
    EXPECT_EQ( "Van_Gogh", Name( "pat_nm" ) );
}

TEST_F( OutputNameTest, InputNamePiecesAndLiterals )
{
    EXPECT_EQ( "xdcm", Name( "cur_we:cur_ext" ) );
    EXPECT_EQ( "x.dcm", Name( "cur_we:.dcm" ) );
    EXPECT_EQ( "study-x", Name( "study:cur_we" ) );
    EXPECT_EQ( "stu_nb", Name( "stu_nb" ) );
    EXPECT_EQ( "x.dcm", Name( "cur_nm:ren_o" ) );
    EXPECT_EQ( "0005-0003", Name( "cur_rk0:cur_cn0", 0, 5, 3 ) );
    EXPECT_EQ( "5-3", Name( "cur_rk:cur_cn", 0, 5, 3 ) );
}

TEST_F( OutputNameTest, ImageStructureAndTextFields )
{
    Element( 0x0028, 0x0010 ).US() = 512;
    Element( 0x0028, 0x0011 ).US() = 512;
    EXPECT_EQ( "512-512", Name( "modal:rows:cols" ) );
    Element( 0x0008, 0x0060 ).CS() = "CT";
    EXPECT_EQ( "CT-512-512", Name( "modal:rows:cols" ) );

    Element( 0x0028, 0x0004 ).CS() = "MONOCHROME2";
    EXPECT_EQ( "MONOCHROME2-MONO2", Name( "photo_i:photo_is" ) );
    Element( 0x0028, 0x0004 ).CS() = "PALETTE COLOR";
    EXPECT_EQ( "PAL", Name( "photo_is" ) );
    Element( 0x0028, 0x0004 ).CS() = "RGB";
    EXPECT_EQ( "RGB", Name( "photo_is" ) );

    // Text fields that are empty or begin with a blank add nothing.
    Element( 0x0008, 0x1030 ).LO() = " leading blank";
    EXPECT_EQ( "CT", Name( "stu_des:modal" ) );
}

TEST_F( OutputNameTest, NumberFieldsCarryTheirPrefix )
{
    Element( 0x0020, 0x0011 ).IS() = "7";
    Element( 0x0020, 0x0013 ).IS() = "42";
    EXPECT_EQ( "s7-s0007-i42-i0042", Name( "ser_nb:ser_nb0:img_nb:img_nb0" ) );
    EXPECT_EQ( "x.dcm", Name( "cur_nm:acq_nb:acq_nb0" ) );
    // Numbers are unsigned 32-bit ("%04u"), whatever the width of long.
    Element( 0x0020, 0x0012 ).IS() = "-1";
    EXPECT_EQ( "a4294967295", Name( "acq_nb0" ) );
}

TEST_F( OutputNameTest, TagFieldGivesTheValueTextEvenWhenEmpty )
{
    Element( 0x0008, 0x0060 ).CS() = "MR";
    EXPECT_EQ( "MR", Name( "(0008,0060)" ) );
    EXPECT_EQ( "(8,60)", Name( "(8,60)" ) );
    // The shape without hexadecimal fields names no element: kept as written.
    EXPECT_EQ( "(zzzz,0060)", Name( "(zzzz,0060)" ) );
    Element( 0x0008, 0x0080 ).LO() = "";
    EXPECT_EQ( "x.dcm-", Name( "cur_nm:(0008,0080)" ) );
    EXPECT_EQ( "x.dcm", Name( "cur_nm:(0008,0090)" ) ); // absent
}

TEST_F( OutputNameTest, SlashesFromTheSetBecomeUnderscores )
{
    Element( 0x0008, 0x1030 ).LO() = "../../etc/passwd";
    Element( 0x0008, 0x0080 ).LO() = "a/b";
    EXPECT_EQ( ".._.._etc_passwd-a_b", Name( "stu_des:(0008,0080)" ) );
    // What the user wrote is kept.
    EXPECT_EQ( "sub/y-x.dcm", Name( "sub/y:cur_nm" ) );
}

TEST_F( OutputNameTest, LongValuesAreCut )
{
    Element( 0x0008, 0x1030 ).LO() = std::string( 1500, 'd' );
    EXPECT_EQ( 1000u, Name( "stu_des" ).size() );
}

// Through the program: the input given a new name from its set stays in its
// folder whatever the set holds.
TEST_F( MedconvTest, RenamedInputStaysInItsFolder )
{
    testsupport::Run( "mkdir in", dir.path() );
    Write( "in/x.dcm", PatientSet( "../../EVIL/NAME" ) );
    const auto run = Medconv( "--rename=pat_nm:stu_des:ren_o in/x.dcm" );
    EXPECT_EQ( 0, run.status ) << run.err;
    // "/" cuts the name into components: the first two are "..".
    EXPECT_TRUE( Exists( "in/.._.." ) ) << run.err;
    EXPECT_FALSE( Exists( "in/x.dcm" ) );

    auto tricky = PatientSet();
    tricky.Text( 0x0008, 0x1030, "LO", "../escaped" );
    Write( "in/y.dcm", tricky );
    EXPECT_EQ( 0, Medconv( "--rename=stu_des:ren_o in/y.dcm" ).status );
    EXPECT_TRUE( Exists( "in/.._escaped" ) );
    EXPECT_FALSE( Exists( "escaped" ) );
}

} // namespace
