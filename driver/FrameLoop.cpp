// The frame loop of the per-file pipeline: which frames are visited, and for
// each of them the build, the settings that supply what it lacks, the
// processing options in their fixed order and the writers.
#include "driver/FrameLoop.h"

#include "driver/DriverState.h"
#include "driver/OutputName.h"
#include "lib/qzcCmdLineParser.h"
#include "lib/qzcError.h"
#include "lib/qzcException.h"
#include "lib/qzcFileName.h"
#include "lib/qzcIndexRange.h"
#include "lib/qzcWarning.h"
#include "dicom/qzmDicomDataElementSet.h"

#include <cstdlib>
#include <iomanip>
#include <ostream>

qzmMedicalFrame AccumulatedFrame;
qzmMedicalFrame MaskFrame;

namespace {

const char* const Signature = "bool convert_file( const qzcFileName&, const qzcCmdLineParser& )";

typedef qzmMedicalFrame::ConversionContext Context;

// An output the command line asks for could not be written: the report, and
// the mark that makes the run's exit status 1.
void ReportUnwritten(const char* message) {
  OutputMissing = true;
  qzcError(Signature, "%s", message).Report();
}

// The value text of an option; empty when the option is absent or has none.
qzcString OptionValue(const qzcCmdLineParser& parser, const char* name) {
  const char* value = parser.GetOptionValue(name);
  return value ? qzcString(value) : qzcString();
}

long ToInteger(const qzcString& text) {
  return std::strtol(text.c_str(), nullptr, 10);
}

// The mode a writer option selects (0 when it carries none); false, with an
// error, when it lies outside 0 to highest.
bool ReadWriterMode(const qzcCmdLineParser& parser, const char* name, SLONG highest, SLONG& mode) {
  mode = parser.GetIntOption(name, 0);
  if (mode >= 0 && mode <= highest)
    return true;
  qzcError(Signature, "wrong parameters for -%s!", name).Report();
  return false;
}

// The frames an input asks for.
struct FrameSelection {
  qzcIndexRange range;
  bool whole = false;
};

void ReportWrongFrames(UWORD frameCount) {
  qzcError(Signature, "wrong arguments to --frame! There is %u frame(s) in the set!", unsigned(frameCount)).Report();
}

// --frame: absent (all frames), "all[:step]", "whole" or first[:last[:step]].
bool SelectFrames(const qzcCmdLineParser& parser, UWORD frameCount, FrameSelection& selection) {
  if (!parser.HasOption("frame")) {
    if (frameCount > 1)
      qzcWarning(Signature, "data-set describes %u frames. Processing all frames. (see --frame)", unsigned(frameCount))
          .Report();
    // A set that announces no frame still gets frame 1 tried, so that the
    // build reports why nothing can be written.
    return selection.range.Set(1, qzcIndex(frameCount > 1 ? frameCount : 1), 1);
  }
  const qzcString value = OptionValue(parser, "frame");
  if (value.empty()) {
    qzcError(Signature, "missing argument(s) to --frame!").Report();
    return false;
  }
  const unsigned fields = value.CountFields();
  long first = 1, last = 1, step = 1;
  if (value.GetField(1) == "all") {
    last = frameCount;
    step = fields >= 2 ? ToInteger(value.GetField(2)) : 1;
  } else if (value == "whole") {
    selection.whole = true;
  } else {
    first = ToInteger(value.GetField(1));
    last = fields >= 2 ? ToInteger(value.GetField(2)) : first;
    step = fields >= 3 ? ToInteger(value.GetField(3)) : (first <= last ? 1 : -1);
    if (first < 1 || first > frameCount || last < 1 || last > frameCount) {
      ReportWrongFrames(frameCount);
      return false;
    }
  }
  if (step < -32768 || step > 32767 || !selection.range.Set(qzcIndex(first), qzcIndex(last), qzcIndex(step))) {
    ReportWrongFrames(frameCount);
    return false;
  }
  return true;
}

// What the settings supply to a frame that lacks it.
void ApplySettings(qzmMedicalFrame& frame, const qzmMedicalFrame::ConversionSettings& settings) {
  if (!frame.HasPixelSpacing && settings.HasPixelSpacing) {
    frame.HasPixelSpacing = true;
    frame.PixelSpacing[0] = settings.PixelSpacing[0];
    frame.PixelSpacing[1] = settings.PixelSpacing[1];
    frame.SliceThickness = settings.SliceThickness;
    frame.SpacingChanged = true;
  }
  if (frame.Modality.empty() && !settings.Modality.empty())
    frame.Modality = settings.Modality;
  if (settings.HasPixelPaddingValue) {
    frame.HasPixelPaddingValue = true;
    frame.PixelPaddingValue = SWORD(settings.PixelPaddingValue);
    frame.PaddingReplacement = settings.PaddingReplacement;
  }
}

// --compression and --resample: one of four keywords, numbered from 0.
bool ReadKeywordOption(const qzcCmdLineParser& parser, const char* name, const char* const keywords[4], UWORD& result) {
  if (!parser.HasOption(name))
    return true;
  const qzcString value = OptionValue(parser, name);
  if (value.empty()) {
    qzcError(Signature, "missing arguments to --%s!", name).Report();
    return false;
  }
  for (UWORD k = 0; k < 4; ++k)
    if (value == keywords[k]) {
      result = k;
      return true;
    }
  qzcError(Signature, "unknown arguments %s to --%s!", value.c_str(), name).Report();
  return false;
}

// The conversion context of the writers: compression, resampling,
// windowing and standard output.
bool ReadContext(const qzcCmdLineParser& parser, Context& context) {
  static const char* const compressions[4] = {"no", "default", "fast", "best"};
  static const char* const methods[4] = {"no", "shift", "near", "linear"};
  UWORD compression = UWORD(Context::CompressionLevel::standard);
  UWORD method = UWORD(Context::ReSamplingMethod::linear);
  if (!ReadKeywordOption(parser, "compression", compressions, compression) ||
      !ReadKeywordOption(parser, "resample", methods, method))
    return false;
  context.Compression = qzmMedicalFrame::CompressionLevel(compression);
  context.ReSamplingMethod = qzmMedicalFrame::ReSamplingMethod(method);
  context.ApplyWindowing = parser.HasOption("win") != qzcCmdLineParser::Absent;
  context.ToStandardOutput = parser.GetBoolOption("out", false);
  return true;
}

// --win=center:width[:intercept:slope] overrides the frame's own window.
bool ReadWindow(const qzcCmdLineParser& parser, qzmMedicalFrame& frame) {
  const qzcString value = OptionValue(parser, "win");
  if (value.empty())
    return true;
  const unsigned fields = value.CountFields();
  if (fields == 1 || fields == 3) {
    qzcError(Signature, "missing arguments to --win!").Report();
    return false;
  }
  const auto number = [&value](unsigned n) { return std::strtod(value.GetField(n).c_str(), nullptr); };
  const bool rescaled = fields >= 4;
  frame.SetWindow(number(1), number(2), rescaled ? number(3) : frame.Windowing.RescaleIntercept,
                  rescaled ? number(4) : frame.Windowing.RescaleSlope);
  return true;
}

// True when the outputs asked for would differ with --changepr: the RAW
// writer and the "no" resampling give the stored bits as they are, while
// windows, the other resamplings and the statistics read signed numbers.
bool OutputsDependOnRepresentation(const qzcCmdLineParser& parser, const Context& context) {
  const bool images = parser.HasOption("w") || parser.HasOption("a") || parser.HasOption("p");
  return parser.HasOption("r") || (images && context.ReSamplingMethod == qzmMedicalFrame::ReSamplingMethod::no);
}

// --changepr: signed samples made unsigned by an offset.
bool ChangeRepresentation(const qzcCmdLineParser& parser, const Context& context, qzmMedicalFrame& frame) {
  const UWORD representation = frame.Structure.Sample.PixelRepresentation;
  if (!parser.HasOption("changepr")) {
    if (representation != 0 && OutputsDependOnRepresentation(parser, context))
      qzcWarning(Signature, "Pixel Representation %u <> 0 ! You might consider --changepr if any problems.",
                 unsigned(representation))
          .Report();
    return true;
  }
  qzcString mode = OptionValue(parser, "changepr");
  if (mode.empty())
    mode = "min";
  SLONG offset;
  if (mode == "bin")
    offset = SLONG(1) << (frame.Structure.Sample.BitsStored - 1);
  else if (mode == "min")
    offset = representation != 0 ? -frame.GetMin() : 0;
  else {
    offset = SLONG(ToInteger(mode));
    if (offset == 0) {
      qzcError(Signature, "wrong argument %s to --changepr!", mode.c_str()).Report();
      return false;
    }
  }
  if (representation != 0 && !frame.ChangePixelRepresentationToUnsigned(offset)) {
    qzcError(Signature, "unable to change the Pixel Representation of the frame!").Report();
    return false;
  }
  return true;
}

// Accumulation, masking, cropping, halving and flips.
bool ProcessFrame(const qzcCmdLineParser& parser, qzmMedicalFrame& frame) {
  if (parser.HasOption("acc")) {
    const qzcString value = OptionValue(parser, "acc");
    if (value.empty()) {
      qzcError(Signature, "missing argument(s) to --acc!").Report();
      return false;
    }
    const qzcString mode = value.GetField(1);
    if (!(CurrentFileOrder ? CurrentFileOrder->Accumulate(frame, mode) : AccumulatedFrame.Accumulate(frame, mode)))
      qzcError(Signature, "unable to accumulate the frame!").Report();
  }
  if (parser.HasOption("mask") && !frame.Mask(MaskFrame, OptionValue(parser, "mask").GetField(1)))
    qzcError(Signature, "unable to mask the frame!").Report();
  if (parser.HasOption("crop")) {
    const qzcString value = OptionValue(parser, "crop");
    if (value.empty() || value.CountFields() != 4) {
      qzcError(Signature, "missing arguments to --crop!").Report();
      return false;
    }
    const auto field = [&value](unsigned n) { return UWORD(ToInteger(value.GetField(n))); };
    if (!frame.Crop(field(1), field(2), field(3), field(4)))
      qzcError(Signature, "unable to crop the frame!").Report();
  }
  if (parser.HasOption("halve")) {
    const qzcString value = OptionValue(parser, "halve");
    const UWORD count = value.empty() ? 1 : UWORD(ToInteger(value));
    for (UWORD k = 0; k < count; ++k)
      if (!frame.Halve()) {
        qzcError(Signature, "unable to halve the frame!").Report();
        break;
      }
  }
  if (parser.HasOption("fliph") && !frame.Fliph())
    qzcError(Signature, "unable to flip the frame horizontally!").Report();
  if (parser.HasOption("flipv") && !frame.Flipv())
    qzcError(Signature, "unable to flip the frame vertically!").Report();
  return true;
}

// --get=max:min:mean on the message channel.
bool PrintStatistics(const qzcCmdLineParser& parser, qzmMedicalFrame& frame) {
  std::ostream* out = qzcException::messageChannel.Active();
  if (!out || !parser.HasOption("get"))
    return true;
  const qzcString value = OptionValue(parser, "get");
  if (value.empty()) {
    qzcError(Signature, "missing arguments to --get!").Report();
    return false;
  }
  for (unsigned n = 1; n <= value.CountFields(); ++n) {
    const qzcString field = value.GetField(n);
    // Extremes of 32-bit and floating-point samples keep their digits.
    if (field == "max")
      *out << "[max: " << std::setprecision(15) << frame.GetMaxNumber() << std::setprecision(6) << "] ";
    else if (field == "min")
      *out << "[min: " << std::setprecision(15) << frame.GetMinNumber() << std::setprecision(6) << "] ";
    else if (field == "mean")
      *out << "[mean: " << frame.GetMean() << "] ";
    else
      qzcWarning(Signature, "wrong argument %s to --get!", field.c_str()).Report();
  }
  return true;
}

// What a writer needs besides the frame.
struct Output {
  const qzcCmdLineParser& parser;
  qzmDicomDataElementSet& set;
  const Context& context;
  qzcString baseName;  // output directory + frame base name
  bool whole;

  qzcFileName Name(const char* extension) const { return qzcFileName(baseName + "." + extension); }
  // False when the output is left to a later file of the list that writes
  // the same name (parallel runs only).
  bool Claim(const char* extension) const {
    return !CurrentFileOrder || context.ToStandardOutput || CurrentFileOrder->ClaimOutput(Name(extension));
  }
};

// The writers, in their fixed order.
bool WriteOutputs(const Output& output, qzmMedicalFrame& frame) {
  const qzcCmdLineParser& parser = output.parser;

  if (parser.HasOption("a") && output.Claim("tga") && !frame.SaveAsTARGA(output.Name("tga"), output.context))
    ReportUnwritten("unable to save as TARGA!");
  if (parser.HasOption("w") && output.Claim("bmp") && !frame.SaveAsBMP(output.Name("bmp"), output.context))
    ReportUnwritten("unable to save as BMP!");
  if (parser.HasOption("p")) {
    // -p0 (the default) writes every element of the set as a text chunk, -p1 none.
    SLONG mode = 0;
    if (!ReadWriterMode(parser, "p", 1, mode))
      return false;
    if (output.Claim("png") && !frame.SaveAsPNG(output.Name("png"), output.context, mode == 0 ? &output.set : nullptr))
      ReportUnwritten("unable to save as PNG!");
  }

  if (parser.HasOption("d") && output.Claim("dcm")) {
    const bool written =
        output.set.empty()
            ? frame.SaveFromScratchAsDicom(output.Name("dcm"), parser.GetBoolOption("out", false))
            : frame.SaveAsDICOM(output.Name("dcm"), output.context, output.set, OptionValue(parser, "d"), output.whole);
    if (!written)
      ReportUnwritten("unable to save as DICOM!");
  }
  if (parser.HasOption("r")) {
    SLONG mode = 0;
    if (!ReadWriterMode(parser, "r", 2, mode))
      return false;
    if (output.Claim("raw") &&
        !frame.SaveAsRAW(output.Name("raw"), output.context, UWORD(mode), output.whole, output.set))
      ReportUnwritten("unable to save as RAW!");
  }
  if (parser.HasOption("j") && output.Claim("jpg") && !frame.SaveAsJPEG(output.Name("jpg"), output.context))
    ReportUnwritten("unable to save as JPEG/JFIF!");

  return true;
}

// Everything done to one built frame, from the settings to the writers;
// false when an option error ends the file.
bool ConvertFrame(qzmMedicalFrame& frame, UWORD number, UWORD frameCount, bool whole, qzmDicomDataElementSet& set,
                  const qzcCmdLineParser& parser, const qzmMedicalFrame::ConversionSettings& settings,
                  const qzcString& outputDirectory, const qzcString& inputName) {
  ApplySettings(frame, settings);
  const qzcString baseName =
      BuildOutputName(settings.RenamePattern, set, FileRank, FileCount, inputName, whole ? 0 : number);
  std::ostream* progress = qzcException::messageChannel.Active();
  if (progress && parser.GetBoolOption("rank", false) && frameCount > 1)
    *progress << number << ' ' << std::flush;
  Context context;
  if (!ReadContext(parser, context) || !ReadWindow(parser, frame) || !ChangeRepresentation(parser, context, frame) ||
      !ProcessFrame(parser, frame) || !PrintStatistics(parser, frame))
    return false;
  const Output output{parser, set, context, outputDirectory + baseName, whole};
  return WriteOutputs(output, frame);
}

}  // namespace

bool convert_frames(const qzcFileName& file, qzmDicomDataElementSet& set, const qzcCmdLineParser& parser,
                    const qzmMedicalFrame::ConversionSettings& settings, const qzcString& outputDirectory,
                    const qzcString& inputName) {
  const UWORD frameCount = qzmMedicalFrame::FrameCountOf(set);
  FrameSelection selection;
  if (!SelectFrames(parser, frameCount, selection))
    return false;
  const qzcIndexRange& range = selection.range;
  qzmMedicalFrame frame;
  // Building the last frame checks that the pixel data hold every frame the
  // set announces: a set that cannot is refused here, with one report and
  // before any output, rather than once per missing frame.
  if (!set.empty() && frameCount > 1 && !frame.UpdateFrom(set, frameCount)) {
    qzcError(Signature, "frame %u, the last of the set, can not be built: no frame is converted!", unsigned(frameCount))
        .Report();
    return false;
  }
  // Counted in int: the 16-bit end of a range near the top of qzcIndex
  // would wrap.
  for (int n = range.First(); range.Step() > 0 ? n <= range.Last() : n >= range.Last(); n += range.Step()) {
    const UWORD number = UWORD(n);
    const bool built = set.empty() ? frame.UpdateFrom(file, settings) : frame.UpdateFrom(set, number);
    if (!built) {
      OutputMissing = true;
      qzcError(Signature, "unable to build frame %u !", unsigned(number)).Report();
      continue;
    }
    if (!ConvertFrame(frame, number, frameCount, selection.whole, set, parser, settings, outputDirectory, inputName))
      return false;
  }
  return true;
}

bool SaveAccumulatedFrame(const qzcCmdLineParser& parser, const qzmMedicalFrame::ConversionSettings& settings) {
  static const char* const signature = "int main(const int, const char**)";
  if (!parser.HasOption("acc") || AccumulatedFrame.Structure.PhotometricInterpretation.empty())
    return true;
  const qzcString value = OptionValue(parser, "acc");
  if (value.empty()) {
    qzcWarning(signature, "missing argument(s) to --acc!").Report();
    return false;
  }
  qzcString name = value.GetField(2);
  if (name.empty())
    name = settings.DestinationPath + "acc-" + value.GetField(1) + ".dcm";
  if (!AccumulatedFrame.SaveFromScratchAsDicom(qzcFileName(name), parser.GetBoolOption("out", false))) {
    qzcWarning(signature, "unable to save accumulated buffer!").Report();
    return false;
  }
  return true;
}
