// Running the built medconv in a temporary folder that holds a copy of the
// data dictionary, on DICOM files written by the sample writer.
#ifndef MEDCONV_TESTS_DRIVER_TEST_H
#define MEDCONV_TESTS_DRIVER_TEST_H

#include "support/TestSupport.h"
#include "tools/SampleWriter.h"

#include <gtest/gtest.h>

#include <string>

class MedconvTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::string(MEDCONV_BINARY).empty())
      GTEST_SKIP() << "medconv is not built";
    testsupport::Run("cp '" MEDCONV_BUILD_DIR "/dicom.dic' '" MEDCONV_BUILD_DIR "/dicom.din' .", dir.path());
  }

  // Runs medconv with the arguments (shell words, where "medconv" names the
  // program for further commands) in a folder of the temporary one, with
  // MEDCONV set to environment when given, unset otherwise.
  testsupport::RunResult Medconv(const std::string& arguments, const std::string& environment = "",
                                 const std::string& folder = ".") const {
    const std::string setting = environment.empty() ? "unset MEDCONV; " : "export MEDCONV='" + environment + "'; ";
    return testsupport::Run(setting + "medconv() { '" MEDCONV_BINARY "' \"$@\"; }; medconv " + arguments,
                            dir.file(folder));
  }

  // A modality and a patient, a geometry and no pixels.
  static samplewriter::SampleSet PatientSet(const std::string& patientName = "DOE^JOHN") {
    samplewriter::SampleSet set(samplewriter::ExplicitLittle);
    set.Text(0x0008, 0x0060, "CS", "CT");
    set.Text(0x0010, 0x0010, "PN", patientName);
    set.Text(0x0010, 0x0020, "LO", "PID-0042");
    set.UnsignedShorts(0x0028, 0x0010, {512});
    set.UnsignedShorts(0x0028, 0x0011, {256});
    return set;
  }

  // A 4 x 4 monochrome image, every byte of its pixels of the value given:
  // samples, rows, columns, bits allocated, stored and high bit, signedness.
  static samplewriter::SampleSet SmallImageSet(std::uint8_t pixel = 200, std::uint16_t bits = 8, bool sign = false) {
    samplewriter::SampleSet set(samplewriter::ExplicitLittle);
    set.Text(0x0028, 0x0004, "CS", "MONOCHROME2");
    for (const auto& [element, value] : std::vector<std::pair<std::uint16_t, int>>{
             {0x2, 1}, {0x10, 4}, {0x11, 4}, {0x100, bits}, {0x101, bits}, {0x102, bits - 1}, {0x103, sign}})
      set.UnsignedShort(0x0028, element, std::uint16_t(value));
    set.OtherBytes(0x7FE0, 0x0010, samplewriter::Bytes(2 * bits, pixel));
    return set;
  }

  void Write(const std::string& name, const samplewriter::SampleSet& set = PatientSet()) const {
    ASSERT_TRUE(set.Save(dir.file(name))) << name;
  }

  bool Exists(const std::string& name) const { return testsupport::FileExists(dir.file(name)); }

  testsupport::TempDir dir;
};

inline bool Has(const std::string& text, const std::string& piece) { return text.find(piece) != std::string::npos; }

#endif
