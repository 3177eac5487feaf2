#include "driver/RunOptions.h"

#include "driver/Anonymize.h"
#include "driver/DriverState.h"
#include "driver/FrameLoop.h"
#include "lib/iobs.h"
#include "lib/qzcCmdLineParser.h"
#include "lib/qzcError.h"
#include "lib/qzcFileName.h"

#include <cctype>
#include <cstdlib>

const char* const MainSignature = "int main(const int, const char**)";

namespace {

// A decimal field by strtol's rules (leading digits only; none reads 0).
long DecimalField(const qzcString& value, unsigned n) {
  return std::strtol(value.GetField(n).c_str(), nullptr, 10);
}

float FloatField(const qzcString& value, unsigned n) {
  return static_cast<float>(std::strtod(value.GetField(n).c_str(), nullptr));
}

void ReadDestination(const qzcCmdLineParser& parser, qzmMedicalFrame::ConversionSettings& settings) {
  qzcString value;
  if (!GetPresentOption(parser, "to", value))
    return;
  if (value.empty() || value.back() != '/')
    value += '/';
  settings.DestinationPath = value;
}

bool ReadSyntax(const qzcCmdLineParser& parser, qzmMedicalFrame::ConversionSettings& settings) {
  qzcString value;
  if (!GetPresentOption(parser, "syntax", value))
    return true;
  static const struct {
    const char* name;
    iobs& (*manipulator)(iobs&);
  } syntaxes[] = {
      {"il", implicit_little_endian},
      {"ib", implicit_big_endian},
      {"el", explicit_little_endian},
      {"eb", explicit_big_endian},
  };
  if (value.empty()) {
    qzcError(MainSignature, "missing argument to --syntax!").Report();
    return false;
  }
  for (const auto& syntax : syntaxes)
    if (value == syntax.name) {
      settings.ReadSyntax = syntax.manipulator;
      return true;
    }
  qzcError(MainSignature, "unsupported syntax %s!", value.c_str()).Report();
  return false;
}

bool ReadAnonymization(const qzcCmdLineParser& parser, qzmMedicalFrame::ConversionSettings& settings) {
  qzcString value;
  if (!GetPresentOption(parser, "anon", value))
    return true;
  qzcString badKeyword;
  if (ParseAnonymizeRequest(value, settings.AnonymizeFlags, settings.AnonymizeTags, badKeyword))
    return true;
  qzcError(MainSignature, "wrong argument %s to --anon!", badKeyword.c_str()).Report();
  return false;
}

bool ReadRenamePattern(const qzcCmdLineParser& parser, qzmMedicalFrame::ConversionSettings& settings) {
  qzcString value;
  if (!GetPresentOption(parser, "rename", value))
    return true;
  if (value.empty() || !std::isdigit(static_cast<unsigned char>(value[0]))) {
    settings.RenamePattern = value;
    return true;
  }
  const unsigned alias = static_cast<unsigned>(value[0] - '0');
  if (alias >= RenameAliasCount) {
    qzcError(MainSignature, "renaming pattern alias %u is not set!", alias).Report();
    return false;
  }
  settings.RenamePattern = RenameAliases[alias];
  return true;
}

void ReadModality(const qzcCmdLineParser& parser, qzmMedicalFrame::ConversionSettings& settings) {
  qzcString value;
  if (GetPresentOption(parser, "modality", value))
    settings.Modality = value;
}

bool ReadSize(const qzcCmdLineParser& parser, qzmMedicalFrame::ConversionSettings& settings) {
  qzcString value;
  if (!GetPresentOption(parser, "size", value))
    return true;
  if (value.empty() || value.CountFields() < 2) {
    qzcError(MainSignature, "missing/wrong arguments to --size!").Report();
    return false;
  }
  auto& structure = settings.Structure;
  structure.Columns = static_cast<UWORD>(DecimalField(value, 1));
  structure.Rows = static_cast<UWORD>(DecimalField(value, 2));
  structure.NumberOfPixels = static_cast<ULONG>(structure.Rows) * structure.Columns;
  return true;
}

bool ReadSpacing(const qzcCmdLineParser& parser, qzmMedicalFrame::ConversionSettings& settings) {
  qzcString value;
  if (!GetPresentOption(parser, "spacing", value))
    return true;
  if (value.empty() || value.CountFields() < 2) {
    qzcError(MainSignature, "missing/wrong arguments to --spacing!").Report();
    return false;
  }
  settings.HasPixelSpacing = true;
  settings.PixelSpacing[1] = FloatField(value, 1);  // column spacing
  settings.PixelSpacing[0] = FloatField(value, 2);  // row spacing
  if (value.CountFields() >= 3)
    settings.SliceThickness = FloatField(value, 3);
  return true;
}

bool ReadPadding(const qzcCmdLineParser& parser, qzmMedicalFrame::ConversionSettings& settings) {
  qzcString value;
  if (!GetPresentOption(parser, "padding", value))
    return true;
  if (value.empty()) {
    qzcError(MainSignature, "missing/wrong arguments to --padding!").Report();
    return false;
  }
  settings.HasPixelPaddingValue = true;
  settings.PixelPaddingValue = static_cast<UWORD>(DecimalField(value, 1));
  return true;
}

bool ReadSample(const qzcCmdLineParser& parser, qzmMedicalFrame::ConversionSettings& settings) {
  qzcString value;
  if (!GetPresentOption(parser, "sample", value))
    return true;
  if (value.empty()) {
    qzcError(MainSignature, "missing/wrong arguments to --sample!").Report();
    return false;
  }
  // A missing field reads 0: "not given" to the RAW loader.
  settings.Structure.Sample.SetBitsAllocatedStoredHigh(static_cast<UWORD>(DecimalField(value, 1)),
                                                       static_cast<UWORD>(DecimalField(value, 2)),
                                                       static_cast<UWORD>(DecimalField(value, 3)));
  return true;
}

// --mask=mode[:file]: the mask image, "mask-mode.bmp" in the working
// directory unless a file is named.
bool LoadMask(const qzcCmdLineParser& parser) {
  qzcString value;
  if (!GetPresentOption(parser, "mask", value))
    return true;
  if (value.empty()) {
    qzcError(MainSignature, "missing argument(s) to --mask!").Report();
    return false;
  }
  qzcString file = value.GetField(2);
  if (file.empty())
    file = "mask-" + value.GetField(1) + ".bmp";
  if (!MaskFrame.LoadAsBMP(qzcFileName(file))) {
    qzcError(MainSignature, "unable to load mask %s!", file.c_str()).Report();
    return false;
  }
  return true;
}

}  // namespace

bool GetPresentOption(const qzcCmdLineParser& parser, const char* name, qzcString& value) {
  if (parser.HasOption(name) == qzcCmdLineParser::Absent)
    return false;
  const char* text = parser.GetOptionValue(name);
  value = text ? text : "";
  return true;
}

bool ReadRunOptions(const qzcCmdLineParser& parser, qzmMedicalFrame::ConversionSettings& settings) {
  ReadDestination(parser, settings);
  if (!ReadSyntax(parser, settings) || !ReadAnonymization(parser, settings) || !ReadRenamePattern(parser, settings))
    return false;
  ReadModality(parser, settings);
  return ReadSize(parser, settings) && ReadSpacing(parser, settings) && ReadPadding(parser, settings) &&
         ReadSample(parser, settings) && LoadMask(parser);
}
