// Running the built medconv in a temporary folder that holds a copy of the
// data dictionary, on DICOM files written by the sample writer.
#ifndef MEDCONV_TESTS_DRIVER_TEST_H
#define MEDCONV_TESTS_DRIVER_TEST_H

#include "support/TestSupport.h"
#include "tools/SampleWriter.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

class MedconvTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::string(MEDCONV_BINARY).empty())
      GTEST_SKIP() << "medconv is not built";
    for (const char* dictionary : {"dicom.dic", "dicom.din"}) {
      const std::string built = std::string(MEDCONV_BUILD_DIR) + "/" + dictionary;
      if (testsupport::FileExists(built))
        testsupport::WriteBytes(dir.file(dictionary), testsupport::ReadBytes(built));
    }
  }

  // Runs medconv with the arguments (shell words) in the temporary folder;
  // MEDCONV is set to environment when given, unset otherwise.
  testsupport::RunResult Medconv(const std::string& arguments, const std::string& environment = "") const {
    const std::string setting =
        environment.empty() ? "unset MEDCONV; " : "MEDCONV='" + environment + "'; export MEDCONV; ";
    return testsupport::Run(setting + "'" + MEDCONV_BINARY + "' " + arguments, dir.path());
  }

  // A small explicit VR little endian image set with patient, study and
  // image elements.
  static samplewriter::SampleSet PatientSet(const std::string& patientName = "DOE^JOHN") {
    samplewriter::SampleSet set(samplewriter::ExplicitLittle);
    set.Text(0x0008, 0x0018, "UI", "1.2.826.0.1.3680043.9.7777.99");
    set.Text(0x0008, 0x0023, "DA", "20010720");
    set.Text(0x0008, 0x0033, "TM", "103015");
    set.Text(0x0008, 0x0060, "CS", "CT");
    set.Text(0x0010, 0x0010, "PN", patientName);
    set.Text(0x0010, 0x0020, "LO", "PID-0042");
    set.UnsignedShort(0x0028, 0x0010, 512);
    set.UnsignedShort(0x0028, 0x0011, 256);
    return set;
  }

  // A 4 x 4 monochrome image of 8-bit pixels, all of the value given.
  static samplewriter::SampleSet SmallImageSet(std::uint8_t pixel = 200) {
    samplewriter::SampleSet set(samplewriter::ExplicitLittle);
    set.UnsignedShort(0x0028, 0x0002, 1);
    set.Text(0x0028, 0x0004, "CS", "MONOCHROME2");
    set.UnsignedShort(0x0028, 0x0010, 4);
    set.UnsignedShort(0x0028, 0x0011, 4);
    set.UnsignedShort(0x0028, 0x0100, 8);
    set.UnsignedShort(0x0028, 0x0101, 8);
    set.UnsignedShort(0x0028, 0x0102, 7);
    set.UnsignedShort(0x0028, 0x0103, 0);
    set.OtherBytes(0x7FE0, 0x0010, samplewriter::Bytes(16, pixel));
    return set;
  }

  void Write(const std::string& name, const samplewriter::SampleSet& set = PatientSet()) const {
    ASSERT_TRUE(set.Save(dir.file(name))) << name;
  }

  bool Exists(const std::string& name) const { return testsupport::FileExists(dir.file(name)); }

  testsupport::TempDir dir;
};

// The lines of a text.
inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

// The line of a text dump that shows the tag (written "(gggg,eeee)"), or
// an empty text.
inline std::string DumpLine(const std::string& dump, const std::string& tag) {
  for (const std::string& line : Lines(dump))
    if (line.find(tag) != std::string::npos)
      return line;
  return std::string();
}

inline int Count(const std::string& text, const std::string& piece) {
  int n = 0;
  for (std::size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
    ++n;
  return n;
}

#endif
