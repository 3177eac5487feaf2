// The manual page documents everything --help lists: every option, the
// renaming fields and aliases.
#include "DriverTest.h"

#include "driver/DriverState.h"

#include <regex>
#include <set>

namespace {

// The page's text with the roff escapes of the dash undone.
std::string ManualText() {
  std::string text = testsupport::ReadText(std::string(MEDCONV_SOURCE_DIR) + "/data/medconv.1");
  for (std::size_t at; (at = text.find("\\-")) != std::string::npos;)
    text.erase(at, 1);
  return text;
}

TEST_F(MedconvTest, ManualPageHasEveryOptionFieldAndAliasOfTheHelp) {
  const std::string manual = ManualText();
  ASSERT_FALSE(manual.empty());
  const std::string help = Medconv("--help").out;
  std::set<std::string> options;
  const std::regex option(R"((^|[ ,\[])(--?[a-z]+))");
  for (const std::string& line : Lines(help))
    if (line.compare(0, 3, "  -") == 0)
      for (std::sregex_iterator match(line.begin(), line.end(), option), end; match != end; ++match)
        options.insert((*match)[2]);
  EXPECT_GE(options.size(), 40u);  // guards the extraction itself
  for (const std::string& name : options)
    EXPECT_TRUE(std::regex_search(manual, std::regex("(^|[^a-z-])" + name + "([^a-z]|$)"))) << name;

  for (const char* field :
       {"cur_nm", "cur_we", "cur_ext", "cur_rk",  "cur_cn",   "cur_fr",      "stu_", "ser_", "acq_",
        "img_",   "modal",  "nb_fr",   "photo_i", "photo_is", "sam_pp",      "rows", "cols", "bits_a",
        "bits_s", "high_b", "pix_r",   "pat_nm",  "stu_des",  "(gggg,eeee)", "ren_o"})
    EXPECT_NE(std::string::npos, manual.find(field)) << field;
  for (int alias = 0; alias < RenameAliasCount; ++alias)
    EXPECT_NE(std::string::npos, manual.find(std::string(".B ") + char('0' + alias) + "\n" + RenameAliases[alias]))
        << alias;
  EXPECT_NE(std::string::npos, manual.find(".SH EXIT STATUS"));
  EXPECT_NE(std::string::npos, manual.find(".SH EXAMPLES"));
}

TEST(ManualPage, InstalledWithTheProgram) {
  testsupport::TempDir prefix;
  const auto install = testsupport::Run("cmake --install '" + std::string(MEDCONV_BUILD_DIR) + "' --prefix '" +
                                        prefix.path() + "' >/dev/null");
  ASSERT_EQ(0, install.status) << install.err;
  EXPECT_TRUE(testsupport::FileExists(prefix.file("share/man/man1/medconv.1")));
}

}  // namespace
