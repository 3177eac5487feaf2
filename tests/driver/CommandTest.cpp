// The command as a user sees it: one row per run on a fresh folder of inputs,
// with its exit status, what it prints on each stream and the files it
// leaves. The exit status is 1 for every option error, for a file that
// failed or matched no name and for an output not written; the other files
// are still converted.
#include "DriverTest.h"

#include <filesystem>

namespace {

struct Row {
  const char* arguments;  // "... && medconv ..." runs the program again
  int status;
  // Parts of each stream: "=text" is the whole stream, "!text" is absent.
  std::vector<std::string> out = {}, err = {};
  // Files after the run: "!name" is absent, "name=text" holds the text.
  std::vector<std::string> files = {};
  const char* environment = "";
};

std::string Repeated(const std::string& text, int times) {
  std::string all;
  while (times-- > 0)
    all += text;
  return all;
}

// Every anonymisation keyword of the default request at once, one element each.
const std::vector<std::string> AnonymizedDump = {"(0010,0010)  1    PN [Anonymized]", "!(0010,0020)", "!(0009,1001)",
                                                 "!(0038,0010)", "!(0020,4000)", "!(5FFF,0005)", "!(60FE,0010)",
                                                 "(0008,0060)", "(0008,0080)", "(0028,0010)", "(7FE0,0010)"};

class CommandTest : public MedconvTest {
 protected:
  // x.dcm, y.dcm, noext and n.9, n.10, n.100: one patient's sets without pixels; i1.dcm,
  // i2.dcm: small images; s16.dcm, s32.dcm, rgbs.dcm: small images of signed samples (16-bit,
  // 32-bit, RGB); bad.dcm: not a set; a.dcm: a
  // set with every kind of element anonymisation takes; in/e.dcm: a set whose names hold
  // "/"; esc.dcm: one whose values hold raw control bytes.
  void WriteInputs() const {
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
      if (entry.path().filename().string().compare(0, 6, "dicom.") != 0)
        std::filesystem::remove_all(entry.path());
    for (const char* folder : {"sub", "out", "in"})
      std::filesystem::create_directory(dir.file(folder));
    for (const char* name : {"x.dcm", "y.dcm", "noext", "n.9", "n.10", "n.100"})
      Write(name);
    Write("i1.dcm", SmallImageSet(10));
    Write("i2.dcm", SmallImageSet(20));
    Write("s32.dcm", SmallImageSet(1, 32, true));
    Write("s16.dcm", SmallImageSet(0x80, 16, true));  // every sample -32640
    samplewriter::SampleSet colour = SmallImageSet(1, 8, true);  // signed RGB
    colour.Text(0x0028, 0x0004, "CS", "RGB");
    colour.UnsignedShort(0x0028, 0x0002, 3);
    colour.UnsignedShort(0x0028, 0x0006, 0);
    colour.OtherBytes(0x7FE0, 0x0010, samplewriter::Bytes(48, 1));
    Write("rgbs.dcm", colour);
    testsupport::WriteText(dir.file("bad.dcm"), "not a DICOM file");
    testsupport::WriteText(dir.file("notes.txt"), "precious");
    testsupport::WriteText(dir.file("pic.bmp"), "BM not really");
    testsupport::WriteBytes(dir.file("bare.dcm"), PatientSet().Body());
    for (const std::string count : {"-1", "70000", "abc", "1A", "1"}) {
      samplewriter::SampleSet set = SmallImageSet();
      set.Text(0x0028, 0x0008, "IS", count);
      Write("fr" + count + ".dcm", set);
    }
    // Every kind of element anonymisation takes, and names, private groups,
    // comments and a user tag in items, two deep.
    auto set = Set(PatientSet(), {{0x0008, 0x0080, "LO", "Synthetic Hospital"}, {0x0008, 0x0090, "PN", "WELBY^MARCUS"},
                                  {0x0009, 0x0010, "LO", "PRIVATE CREATOR"}, {0x0009, 0x1001, "LO", "private payload"},
                                  {0x0010, 0x0030, "DA", "19600101"}, {0x0020, 0x0010, "SH", "STUDY7"},
                                  {0x0020, 0x4000, "LT", "image"}, {0x0032, 0x4000, "LT", "study"},
                                  {0x0038, 0x0008, "CS", "ADMITTED"}, {0x0038, 0x0010, "LO", "ADM-1"}});
    for (const int group : {0x5000, 0x5FFF, 0x60FE})
      set.UnsignedShort(group, group == 0x60FE ? 0x0010 : 0x0005, 2);
    set.Words(0x6000, 0x3000, {1, 2, 3, 4});
    set.Words(0x7FE0, 0x0010, {0, 0});
    const samplewriter::SampleSet empty(samplewriter::ExplicitLittle);
    auto two = Set(empty, {{0x0040, 0xA123, "PN", "DEPTH^TWO"}, {0x0020, 0x4000, "LT", "comment"},
                           {0x0008, 0x0080, "LO", "Hospital"}, {0x0011, 0x1001, "LO", "private payload"}});
    AddItem(two, 0x0029, 0x1010, Set(empty, {{0x0010, 0x0020, "LO", "in a private sequence"}}));
    auto one = Set(empty, {{0x0008, 0x0090, "PN", "DEPTH^ONE"}, {0x0009, 0x0010, "LO", "PRIVATE CREATOR"},
                           {0x0008, 0x1150, "UI", "1.2.3"}});
    AddItem(one, 0x0040, 0xA730, two);
    AddItem(set, 0x0008, 0x1140, one);
    Write("a.dcm", set);
    Write("in/e.dcm", PatientSet("../../EVIL/NAME"));
    // A sound first element, from which the encoding is found, and a patient
    // name whose VR is two control bytes.
    Write("esc.dcm", Set(empty, {{0x0008, 0x0060, "CS", "CT"}, {0x0008, 0x1030, "LO", "one\nA\x1b[31mB"},
                                 {0x0010, 0x0010, "\x1b\x07", "A\x1b[31mB"}}));
  }

  static samplewriter::SampleSet Set(samplewriter::SampleSet set,
                                     const std::vector<std::tuple<int, int, const char*, const char*>>& texts) {
    for (const auto& text : texts)
      set.Text(std::get<0>(text), std::get<1>(text), std::get<2>(text), std::get<3>(text));
    return set;
  }

  // A sequence of one item (under 64 KiB) that holds the elements of item.
  static void AddItem(samplewriter::SampleSet& set, std::uint16_t group, std::uint16_t element,
                      const samplewriter::SampleSet& item) {
    const samplewriter::Bytes body = item.Body();
    samplewriter::Bytes bytes = {0xFE, 0xFF, 0x00, 0xE0, std::uint8_t(body.size()), std::uint8_t(body.size() >> 8), 0, 0};
    bytes.insert(bytes.end(), body.begin(), body.end());
    set.Numbers(group, element, "SQ", bytes, 1);
  }

  void Expect(const std::string& text, const std::vector<std::string>& parts) const {
    for (const std::string& part : parts)
      EXPECT_TRUE(part[0] == '=' ? part.substr(1) == text : (part[0] == '!') != Has(text, part.substr(part[0] == '!')))
          << part << " in:\n" << text;
  }

  void Check(const Row& row) {
    SCOPED_TRACE(row.arguments);
    WriteInputs();
    const auto run = Medconv(row.arguments, row.environment);
    EXPECT_EQ(row.status, run.status) << run.err;
    Expect(run.out, row.out);
    Expect(run.err, row.err);
    for (const std::string& file : row.files) {
      const std::size_t absent = file[0] == '!', equals = file.find('=');
      EXPECT_NE(absent, Exists(file.substr(absent, equals - absent))) << file;
      if (equals != std::string::npos) {
        EXPECT_EQ(file.substr(equals + 1), testsupport::ReadText(dir.file(file.substr(0, equals))));
      }
    }
  }
};

TEST_F(CommandTest, EveryOutcomeAsARow) {
  const Row rows[] = {
      {"-w --to=out 'i*.dcm'", 0, {}, {}, {"out/i1.dcm.bmp", "out/i2.dcm.bmp", "!i1.dcm.bmp"}},
      {"-a i1.dcm", 0, {}, {"="}, {"i1.dcm.tga"}},
      {"-w -t i1.dcm bad.dcm i2.dcm", 1, {}, {"reading set from file bad.dcm!\n"}, {"i2.dcm.bmp", "!bad.dcm.txt"}},
      {"-w --jobs=2 i1.dcm bad.dcm i2.dcm", 1, {}, {"while processing file bad.dcm!"}, {"i2.dcm.bmp"}},
      // A name or a pattern that matches nothing counts as a failed file.
      {"-w --jobs=2 'none*.dcm' i2.dcm", 1, {}, {"   no file matches none*.dcm\n"}, {"i2.dcm.bmp"}},
      {"-w --to=no/such i1.dcm", 1, {}, {"unable to save as BMP!"}, {"!i1.dcm.bmp"}},
      {"-p --to=no/such i1.dcm", 1, {}, {"unable to save as PNG!"}},
      {"-d=el --to=no/such i1.dcm", 1, {}, {"unable to save as DICOM!"}},
      {"-t --to=no/such i1.dcm", 1, {}, {"   while opening text file no/such/i1.dcm.txt!\n", "!while processing"}},
      {"-t --rename=cur_we notes.txt", 1, {}, {"   while opening text file notes.txt!\n"}, {"notes.txt=precious"}},
      {"--acc=max:no/such/acc.dcm i1.dcm", 1, {">> [W] [", "   unable to save accumulated buffer!\n"}},
      // A file named in the value is taken as it is, without the destination.
      {"--acc=min i1.dcm", 0, {}, {"="}, {"acc-min.dcm"}},
      {"--changepr -r0 --rename=m s16.dcm && medconv --changepr=bin -r0 --rename=b s16.dcm", 0, {}, {},
       {"m.raw=" + std::string(32, '\0'), "b.raw=" + Repeated(std::string("\x80\0", 2), 16)}},
      {"--acc=max:sum.dcm --to=sub i1.dcm i2.dcm && medconv -t1 sum.dcm", 0, {"(0028,0002)", "!(0028,0006)"}, {"="},
       {"sum.dcm", "!sub/sum.dcm"}},
      {"--crop=1:0:3:2 -r0 i1.dcm", 0, {}, {}, {"i1.dcm.raw=" + std::string(6, '\n')}},  // 3 wide, 2 high
      {"-w --frame=1 i1.dcm x.dcm", 1, {}, {"unable to build frame 1 !"}, {"i1.dcm.bmp"}},
      {"-w --frame=1:1:65537 i1.dcm", 1, {}, {"wrong arguments to --frame!"}, {"!i1.dcm.bmp"}},
      // Signed samples: a warning where the outputs would differ with --changepr.
      {"-w --resample=no s16.dcm", 0, {"You might consider --changepr"}},
      {"-p --resample=no s16.dcm", 0, {"You might consider --changepr"}}, {"-w s16.dcm", 0, {"!consider"}},
      {"--changepr -r0 rgbs.dcm", 1, {"Samples per Pixel = 3!"}, {}, {"!rgbs.dcm.raw"}},
      {"--changepr=abc -r0 s16.dcm", 1, {}, {"wrong argument abc to --changepr!"}, {"!s16.dcm.raw"}},
      {"--changepr -r0 s32.dcm", 1, {}, {"unable to change the Pixel Representation"}, {"!s32.dcm.raw"}},
      // A Number of Frames that is not a count is refused, not wrapped; one
      // that starts with a count is read as that count.
      {"-w fr-1.dcm fr70000.dcm frabc.dcm", 1, {},
       {"wrong Number of Frames -1!", "Number of Frames 70000!", "Number of Frames abc!"}, {"!fr-1.dcm.bmp"}},
      {"-w fr1A.dcm && medconv -w --frame=1 fr1.dcm", 0, {}, {}, {"fr1A.dcm.bmp", "fr1.dcm.bmp"}},
      {"-p7 i1.dcm || medconv -r3 i2.dcm", 1, {}, {"wrong parameters for -p!", "wrong parameters for -r!"}},

      {"--jobs -w i1.dcm && medconv --jobs=0 -w i2.dcm", 0, {}, {"="}, {"i1.dcm.bmp", "i2.dcm.bmp"}},
      {"", 1, {"Usage: medconv [--help] [--version]", " [-w] [file(s)...]\nTry --help for more information\n"}},
      // Well-formed options; --to=sub and --to=sub/ name the same folder.
      {"--size=512:256 --spacing=0.5:0.7:2 --padding=0 --sample=16:12 --syntax=el --modality=OT "
       "'--anon=(0008,0080):rm_priv' --to=sub -t x.dcm && medconv --to=sub/ -t y.dcm",
       0, {}, {"="}, {"!x.dcm.txt", "sub/x.dcm.txt", "sub/y.dcm.txt"}},
      {"--spacing=0.5:0.7:2 -d i1.dcm && medconv -t1 i1.dcm.dcm", 0, {"(0028,0030)  2    DS [0.7\\0.5]", "DS [2]"}},
      {"--spacing=0.5:0.7 --padding=5 -d i1.dcm && medconv -t1 i1.dcm.dcm", 0,
       {"(0028,0030)  2    DS [0.7\\0.5]", "(0028,0120)  1    SS [5]"}},
      // The mask is read from the working folder, not the destination.
      {"-w i1.dcm && cp i1.dcm.bmp sub/mask-zero.bmp && (medconv --mask=zero --to=sub -w i1.dcm; cp i1.dcm.bmp "
       "mask-zero.bmp && medconv --mask=zero --to=out -w i1.dcm)", 0, {}, {"   unable to load mask mask-zero.bmp!\n"},
       {"!sub/i1.dcm.bmp", "out/i1.dcm.bmp"}},
      // The text dump: a name without extension is read as a set too; an image file is not.
      {"-t x.dcm noext pic.bmp && cat x.dcm.txt noext.txt", 0, {"(0010,0010)  1    PN [DOE^JOHN]\n"}, {"="},
       {"noext.txt", "pic.bmp.txt="}},
      {"-t1 x.dcm && medconv -t --out y.dcm && medconv -t0 --out noext", 0, {"[PID-0042]"}, {},
       {"!x.dcm.txt", "!y.dcm.txt", "!noext.txt"}},
      // The reader's default is implicit VR, which cannot read this one.
      {"--syntax=el -t1 bare.dcm", 0, {"(0010,0010)  1    PN [DOE^JOHN]\n"}},
      // Control bytes of a file are shown escaped, in reports and in the dump.
      {"-t1 esc.dcm", 0, {"!\x1b", "!\x07", "\\x1B\\x07", "LO [one\\x0AA\\x1B[31mB]"}, {"!\x1b", "!\x07"}},
      // --out keeps standard output for data; --warn=n and --nowarn silence warnings.
      {"--out --rank --name -t1 x.dcm", 0, {"(0010,0010)", "!About"}, {"About to process 1 file(s)...\n[1] x.dcm \n"}},
      {"--out -t7 x.dcm", 1, {"="}, {">> [W] [", "   wrong parameters for -t!\n"}},
      {"-t2 x.dcm", 1, {"wrong parameters for -t!"}},
      {"--warn=n -t7 x.dcm && medconv --nowarn -t7 x.dcm", 1, {"="}},
      {"--rank --name x.dcm y.dcm", 0, {"=About to process 2 file(s)...\n[1] x.dcm \n[2] y.dcm \n"}, {"="}},
      // Sorting is stable: names without a number count as 0.
      {"--name --sort=ext_num n.10 n.9 n.100 && medconv --name --sort=ext_num n.9 y.dcm x.dcm", 0,
       {"=n.9 \nn.10 \nn.100 \ny.dcm \nx.dcm \nn.9 \n"}},
      {"--name --sort n.9 n.100 n.10 'none*.xyz'", 1, {"=n.10 \nn.100 \nn.9 \n"}, {"   no file matches none*.xyz\n"}},
      {"--name n.100 n.9 n.10", 0, {"=n.100 \nn.9 \nn.10 \n"}},
      {"--name --sort=ext_num noext x.dcm", 0, {"=noext \nx.dcm \n"}},  // no extension and no number alike
      // --step counts after sorting and reversing; the names see the counters.
      {"--rank --step=2 --sort 'n.*'", 0, {"=About to process 3 file(s)...\n[1] [3] \n"}},
      {"--name --reverse --step=2 --sort 'n.*'", 0, {"=n.9 \nn.10 \n"}},
      {"--step=2 --sort --rename=cur_rk0:cur_cn0:ren_o 'n.*'", 0, {}, {}, {"0001-0001", "0003-0002", "n.100"}},
      // Words of MEDCONV come after the command line's.
      {"x.dcm", 0, {}, {}, {"x.dcm.txt"}, "-t"},
      {"--name=y x.dcm", 0, {"=x.dcm \n"}, {}, {}, "--name=n"},
      {"--name y.dcm", 0, {"=y.dcm \nx.dcm \n"}, {}, {}, "  x.dcm  "},
      {"--rename=cur_nm:ren_o x.dcm", 0, {}, {"="}, {"x.dcm"}},
      {"--to=sub --rename=cur_nm:ren_o x.dcm && medconv --to=./sub --rename=cur_nm:ren_o sub/x.dcm", 0, {}, {"="},
       {"!x.dcm", "sub/x.dcm"}},
      {"--rename=pat_nm:ren_o:modal x.dcm", 0, {}, {}, {"DOE_JOHN-CT", "!x.dcm"}},
      {"--rename=pat_nm:rows -t x.dcm && medconv --rename=3xyz -t x.dcm", 0, {}, {},
       {"DOE_JOHN-512.txt", "CT-512-256.txt"}},
      {"--anon --rename=pat_nm:ren_o x.dcm", 0, {}, {}, {"Anonymized"}},
      // The earlier file keeps the name; none is replaced.
      {"--rename=pat_nm:ren_o x.dcm y.dcm", 1, {},
       {"   file DOE_JOHN already exists, it is not replaced!\n", "   while renaming original file y.dcm to DOE_JOHN"},
       {"DOE_JOHN", "y.dcm", "!x.dcm"}},
      {"--to=missing --rename=cur_nm:ren_o x.dcm", 1, {},
       {"   while renaming original file x.dcm to missing/x.dcm!\n", "   while processing file x.dcm!\n"}, {"x.dcm"}},
      // The input stays in its folder whatever its set holds.
      {"--rename=pat_nm:ren_o in/e.dcm", 0, {}, {}, {"in/.._..", "!in/e.dcm"}},
      // Anonymisation: each keyword takes its elements.
      {"--anon -t1 a.dcm && medconv --anon= -t1 a.dcm", 0, AnonymizedDump},
      {"-t1 a.dcm", 0, {"(0010,0010)  1    PN [DOE^JOHN]", "(0009,1001)", "(0010,0020)", "(5000,0005)", "(6000,3000)"}},
      {"--anon=pn_rm -t1 a.dcm", 0, {"!(0010,0010)", "!(0008,0090)", "!(0040,A123)", "(0010,0020)", "(0011,1001)"}},
      // The request reaches every item, however deep.
      {"'--anon=pn_rp:rm_priv:rm_co:(0008,0080)' -t1 a.dcm", 0,
       {"(0008,0090)  1    PN [Anonymized]", "(0040,A123)  1    PN [Anonymized]", "!(0009,0010)", "!(0011,1001)",
        "!(0029,1010)", "!in a private", "!(0020,4000)", "!(0008,0080)", "1.2.3"}},
      {"--anon=pn_rp:pn_rm -t1 a.dcm", 0, {"(0010,0010)  1    PN [Anonymized]", "(0008,0090)  1    PN [Anonymized]"}},
      {"--anon=rm_priv -t1 a.dcm", 0, {"!(0009,0010)", "!(0009,1001)", "(0008,0080)", "(0010,0020)"}},
      {"--anon=rm_ov -t1 a.dcm", 0, {"!(6000,3000)", "!(60FE,0010)", "(7FE0,0010)", "(5000,0005)", "(0020,4000)"}},
      {"--anon=rm_co:rm_cu -t1 a.dcm", 0, {"!(0020,4000)", "!(0032,4000)", "!(5000,0005)", "!(5FFF,0005)", "(6000"}},
      {"--anon=rm_10 -t1 a.dcm", 0, {"!(0010,0010)", "!(0010,0020)", "!(0010,0030)", "(0008,0090)"}},
      {"--anon=rm_sel -t1 a.dcm", 0, {"!(0020,0010)", "!(0038,0008)", "!(0038,0010)", "(0020,4000)", "(0010,0010)"}},
      {"'--anon=(0008,0080)' -t1 a.dcm", 0, {"!(0008,0080)", "(0008,0090)  1    PN [WELBY"}},
      {"'--anon=(0008,0080):pn_rp' -t1 a.dcm", 0, {"!(0008,0080)", "(0010,0010)  1    PN [Anonymized]"}},
  };
  for (const Row& row : rows)
    Check(row);
  // Option errors end the run before any file.
  const std::pair<std::string, std::string> refusals[] = {
      {"--syntax", "missing argument to --syntax!"}, {"--syntax=EL", "unsupported syntax EL!"},
      {"--anon=pn_rp:foo", "wrong argument foo to --anon!"}, {"'--anon=(8,80)'", "wrong argument (8,80) to --anon!"},
      {"--anon=0008,0080", "wrong argument 0008,0080 to --anon!"},
      {"'--anon=(zzzz,0010)'", "wrong argument (zzzz,0010) to --anon!"},
      {"--rename=7", "renaming pattern alias 7 is not set!"}, {"--mask", "missing argument(s) to --mask!"},
      {"--mask=zero", "unable to load mask mask-zero.bmp!"}, {"--mask=zero:none.bmp", "unable to load mask none.bmp!"},
      {"--size=512", "missing/wrong arguments to --size!"}, {"--spacing=0.5", "missing/wrong arguments to --spacing!"},
      {"--padding", "missing/wrong arguments to --padding!"}, {"--sample=", "missing/wrong arguments to --sample!"},
      {"--step", "missing argument to --step!"}, {"--step=0", "wrong argument to --step (0)!"},
      {"--step=65536", "wrong argument to --step (0)!"}, {"--jobs=-2", "wrong argument -2 to --jobs!"},
      {"--jobs=two", "wrong argument two to --jobs!"}, {"--jobs=1x", "wrong argument 1x to --jobs!"},
  };
  for (const auto& refusal : refusals)
    Check({(refusal.first + " -t x.dcm").c_str(), 1, {},
           {">> [E] [", "   int main(const int, const char**) ", "   " + refusal.second + "\n"}, {"!x.dcm.txt"}});
}

}  // namespace
