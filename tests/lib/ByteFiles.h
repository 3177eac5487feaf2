// The library tests' fixture for byte files: what a binary stream writes, and
// a binary stream reading given bytes. Reports are captured meanwhile.
#ifndef MEDCONV_TEST_LIB_BYTE_FILES_H
#define MEDCONV_TEST_LIB_BYTE_FILES_H

#include "lib/ifbstream.h"
#include "lib/ofbstream.h"
#include "ReportCapture.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

class ByteFiles : public testing::Test {
 protected:
  // A file of the given bytes; its path.
  std::string FileOf(const Bytes& bytes, const std::string& name = "in.bin") {
    testsupport::WriteBytes(dir_.file(name), bytes);
    return dir_.file(name);
  }

  // The bytes fill writes on a new stream; writtenOk_ tells whether it stayed good.
  Bytes Written(const std::function<void(ofbstream&)>& fill) {
    {
      ofbstream out(dir_.file("out.bin"));
      fill(out);
      writtenOk_ = out.good();
    }
    return testsupport::ReadBytes(dir_.file("out.bin"));
  }

  // A stream over the given bytes, valid until the next call.
  ifbstream& Reading(const Bytes& bytes) {
    input_.reset(new ifbstream(FileOf(bytes)));
    return *input_;
  }

  ReportCapture reports_;
  testsupport::TempDir dir_;
  bool writtenOk_ = false;

 private:
  std::unique_ptr<ifbstream> input_;
};

#endif
