// DICOM output: a frame's own data set written again with its image
// elements brought in line with the (possibly processed) frame, in the same
// or another native transfer syntax; and a frame without a set (the
// accumulation buffer) written from scratch.
#include "formats/ImageWriting.h"
#include "frame/qzmMedicalFrame.h"
#include "frame/qzmImageTags.h"

#include "codecs/qzmCodecTable.h"
#include "dicom/qzmDicomDataElementSet.h"
#include "lib/ofbstream.h"
#include "lib/qzcError.h"
#include "lib/qzcFileName.h"
#include "lib/qzcWarning.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <algorithm>
#include <vector>

namespace {

typedef qzmDicomDataElementDescription VRs;

const char* const SaveSignature =
    "bool qzmMedicalFrame::SaveAsDICOM( const qzcFileName&, const "
    "qzmMedicalFrame::ConversionContext&, qzmDicomDataElementSet&, const qzcString&, bool )";
const char* const ScratchSignature =
    "bool qzmMedicalFrame::SaveFromScratchAsDicom( const qzcFileName&, const bool ) const";

using namespace qzmImageTags;

// A -d sub-option: the UID written into a set that has a Transfer Syntax
// UID (none for "ib"), and the stream policy for a set that has none.
struct TargetSyntax {
  const char* option;
  const char* uid;
  iobsManipulator policy;
};

const TargetSyntax* FindTargetSyntax(const qzcString& option) {
  static const TargetSyntax table[] = {
      {"il", "1.2.840.10008.1.2", implicit_little_endian},
      {"ib", nullptr, implicit_big_endian},
      {"el", "1.2.840.10008.1.2.1", explicit_little_endian},
      {"eb", "1.2.840.10008.1.2.2", explicit_big_endian},
  };
  for (const TargetSyntax& syntax : table)
    if (option == syntax.option)
      return &syntax;
  return nullptr;
}

qzcString Decimal(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

// Changes to a set that are undone when the editor goes away: the original
// elements are taken out of the set whole (their data blocks stay theirs)
// and put back, so the set ends exactly as it was.
class SetEditor {
 public:
  explicit SetEditor(qzmDicomDataElementSet& set) : set(set) {}
  ~SetEditor() {
    for (const Tag& tag : touched)
      set.erase(tag);
    for (auto& original : originals)
      set.insert(std::move(original));
  }
  SetEditor(const SetEditor&) = delete;
  SetEditor& operator=(const SetEditor&) = delete;

  bool Has(const Tag& tag) const { return set.find(tag) != set.end(); }
  const qzmDicomDataElementValue* Find(const Tag& tag) const {
    const auto found = set.find(tag);
    return found == set.end() ? nullptr : &found->second;
  }

  // A fresh value in place of the element (created when absent).
  qzmDicomDataElementValue& Replace(const Tag& tag) {
    Remove(tag);
    return set[tag];
  }
  void Remove(const Tag& tag) {
    if (std::find(touched.begin(), touched.end(), tag) != touched.end()) {
      set.erase(tag);
      return;
    }
    touched.push_back(tag);
    auto original = set.extract(tag);
    if (!original.empty())
      originals.push_back(std::move(original));
  }

 private:
  qzmDicomDataElementSet& set;
  std::vector<Tag> touched;
  std::vector<qzmDicomDataElementSet::ElementMap::node_type> originals;
};

// Samples made unsigned by --changepr moved the frame's intercept with
// them: the written intercept follows, its fraction kept, so that the
// samples keep their output values. An intercept the frame did not move
// (or assumed, when the set has none) is left as it is.
void SetMovedIntercept(SetEditor& editor, const qzmMedicalFrame& frame) {
  const auto found = editor.Find(RescaleInterceptTag);
  const bool assumedForCt = frame.Windowing.HasWindowing && frame.Modality == "CT";
  const double written = found ? std::strtod(found->CS().c_str(), nullptr) : assumedForCt ? -1024 : 0;
  const double moved = double(frame.Windowing.RescaleIntercept) - std::trunc(written);
  if (moved != 0 && std::isfinite(written))
    editor.Replace(RescaleInterceptTag).DS() = Decimal(written + moved);
}

// The elements that describe the frame's geometry, spacing, representation
// and padding. When the set's own Pixel Data are written, the elements that
// lay them out stay as the set has them: a frame cropped, halved, made
// unsigned or reorganised to colour-by-pixel no longer describes them, and
// a halved frame's spacing is not theirs.
void SetImageElements(SetEditor& editor, const qzmMedicalFrame& frame, bool originalPixelData) {
  // Spacing that an enhanced image gives in its functional groups stays there.
  const bool keepSpacing = originalPixelData && (editor.Has(PixelSpacingTag) || editor.Has(Tag(0x5200, 0x9229)) ||
                                                 editor.Has(Tag(0x5200, 0x9230)));
  const struct qzmMedicalFrame::Structure& structure = frame.Structure;
  if (!originalPixelData) {
    if (structure.SamplesPerPixel > 1)
      editor.Replace(PlanarConfigurationTag).US() = structure.PlanarConfiguration;
    editor.Replace(PixelRepresentationTag).US() = structure.Sample.PixelRepresentation;
    editor.Replace(RowsTag).US() = structure.Rows;
    editor.Replace(ColumnsTag).US() = structure.Columns;
  }
  // The set's own spacing text is kept: rewritten from a float it would
  // lose digits.
  if (frame.HasPixelSpacing && frame.SpacingChanged && !keepSpacing) {
    editor.Replace(PixelSpacingTag).DS() = Decimal(frame.PixelSpacing[0]) + "\\" + Decimal(frame.PixelSpacing[1]);
    if (frame.SliceThickness != 0)
      editor.Replace(SliceThicknessTag).DS() = Decimal(frame.SliceThickness);
  }
  if (frame.HasPixelPaddingValue)
    editor.Replace(PixelPaddingTag).SS() = frame.PixelPaddingValue;
  if (!originalPixelData)
    SetMovedIntercept(editor, frame);
}

// A frame of the set as decoded, untouched by the processing of this run:
// what the elements of a whole decoded set describe.
qzmMedicalFrame WholeSetLayout(const qzmDicomDataElementSet& set, const qzmMedicalFrame& frame) {
  qzmMedicalFrame first;
  if (!first.UpdateFrom(set, 1) || !first.ArePixelsReady())
    return frame;
  return first;
}

// The elements that describe decoded pixel data: what the decoder made of
// the colour and planes, the sample bits, the frame count, and the mark of
// a lossy source.
void SetDecodedElements(SetEditor& editor, const qzmMedicalFrame& frame, UWORD frames) {
  SetImageElements(editor, frame, false);
  const struct qzmMedicalFrame::Structure& structure = frame.Structure;
  editor.Replace(PhotometricTag).CS() = structure.PhotometricInterpretation;
  if (structure.SamplesPerPixel > 1)
    editor.Replace(PlanarConfigurationTag).US() = 0;
  editor.Replace(BitsAllocatedTag).US() = structure.Sample.BitsAllocated;
  editor.Replace(BitsStoredTag).US() = structure.Sample.BitsStored;
  editor.Replace(HighBitTag).US() = structure.Sample.HighBit;
  if (frames > 1 || editor.Has(NumberOfFramesTag))
    editor.Replace(NumberOfFramesTag).IS() = Decimal(frames);
  const qzmCodecTable::Entry* codec = qzmCodecTable::Find(frame.TransferSyntax);
  if (codec && codec->Lossy)
    editor.Replace(LossyImageCompressionTag).CS() = "01";
}

// Bytes of a stored value of bytes or words.
ULONG StoredBytes(const qzmDicomDataElementValue& value) {
  return value.GetVR() == VRs::OW ? value.OW().GetSize() * 2 : value.OB().GetSize();
}

// The element that holds samples of the frame's kind.
Tag PixelElementFor(const struct qzmMedicalFrame::Structure::Sample& sample) {
  if (!sample.FloatingPoint)
    return PixelDataTag;
  return sample.BitsAllocated == 64 ? DoubleFloatPixelDataTag : FloatPixelDataTag;
}

// target becomes the prepared samples of more than 16 bits (host-order
// units) in the written syntax's byte order. 32-bit integers are OW words
// (as other toolkits expect for Pixel Data), the halves ordered so that the
// set writer's word order gives the 32-bit number's bytes: low half first
// in little endian, high half first in big endian. Floating-point numbers
// are bytes: shared when the orders agree, a swapped copy otherwise.
bool PutWideSamples(qzmDicomDataElementValue& target, qzmDicomDataElementValue samples,
                    const struct qzmMedicalFrame::Structure::Sample& sample, bool bigEndian) {
  const ULONG size = samples.OB().GetSize();
  const UBYTE* from = samples.OB().GetMemoryLocation();
  if (!sample.FloatingPoint) {
    target = qzmDicomDataElementValue();
    target.SetVR(VRs::OW);
    target.OW().SetSize(size / 2);
    if (!from || !target.OW().AllocateMemory())
      return false;
    UWORD* words = target.OW().GetMemoryLocation();
    for (ULONG k = 0; k + 4 <= size; k += 4, words += 2) {
      ULONG unit;
      std::memcpy(&unit, from + k, 4);
      words[bigEndian ? 1 : 0] = UWORD(unit);
      words[bigEndian ? 0 : 1] = UWORD(unit >> 16);
    }
    return true;
  }
  target = samples;
  const UWORD probe = 1;
  const bool hostBig = *reinterpret_cast<const UBYTE*>(&probe) == 0;
  if (hostBig == bigEndian)
    return true;
  target = qzmDicomDataElementValue();
  target.SetVR(VRs::OB);
  target.OB().SetSize(size);
  if (!from || !target.OB().AllocateMemory())
    return false;
  UBYTE* to = target.OB().GetMemoryLocation();
  const unsigned unit = sample.BitsAllocated / 8u;
  for (ULONG k = 0; k + unit <= size; k += unit)
    std::reverse_copy(from + k, from + k + unit, to + k);
  return true;
}

// A one-frame output keeps, of the Per-frame Functional Groups, the item of
// its frame only.
void KeepFunctionalGroupsOfFrame(SetEditor& editor, const qzmDicomDataElementSet& set, UWORD frame) {
  static const Tag PerFrameFunctionalGroupsTag(0x5200, 0x9230);
  const auto groups = set.find(PerFrameFunctionalGroupsTag);
  if (groups == set.end() || groups->second.GetVR() != qzmDicomDataElementDescription::SQ)
    return;
  const qzmDicomDataElementValue::ItemList& items = groups->second.SQ();
  std::unique_ptr<qzmDicomDataElementSet> kept;
  if (frame >= 1 && frame <= items.size())
    kept = std::make_unique<qzmDicomDataElementSet>(*items[frame - 1u]);
  qzmDicomDataElementValue::ItemList& reduced = editor.Replace(PerFrameFunctionalGroupsTag).SQ();
  if (kept)
    reduced.push_back(std::move(kept));
}

bool FinishDestination(ofbstream& ofs, const qzcFileName& name, bool toStandardOutput, const char* signature) {
  if (!ofs) {
    qzcError(signature, "unable to write to destination file %s!", DestinationName(name, toStandardOutput)).Report();
    return false;
  }
  ofs.close();
  return true;
}

}  // namespace

bool qzmMedicalFrame::SaveAsDICOM(const qzcFileName& name, const ConversionContext& context,
                                  qzmDicomDataElementSet& set, const qzcString& syntax, bool whole) {
  const UWORD frames = FrameCountOf(set);
  const auto transferSyntax = set.find(TransferSyntaxTag);
  const bool hasTransferSyntax = transferSyntax != set.end();
  const TargetSyntax* target = syntax.empty() ? nullptr : FindTargetSyntax(syntax);
  if (!syntax.empty() && (!target || (hasTransferSyntax && !target->uid))) {
    qzcError(SaveSignature, "conversion to DICOM (-d), unsupported syntax %s!", syntax.c_str()).Report();
    return false;
  }
  // Compressed pixel data go to a native syntax decoded; a plain -d keeps
  // the set as it is.
  const bool decode = target && !HasNativePixelData();
  if (!HasNativePixelData() && !target)
    whole = true;
  const UWORD decodedFrames = whole ? frames : 1;
  qzmDicomDataElementValue decoded;
  if (decode && !DecodedPixelData(set, decodedFrames, decoded)) {
    qzcError(SaveSignature, "conversion to DICOM (-d=%s) of encapsulated/compressed data (%s) not possible!",
             syntax.c_str(), TransferSyntax.c_str())
        .Report();
    return false;
  }
  const bool sourceBigEndian = TransferSyntax == qzmDicomDataElementSet::ExplicitVRBigEndian;
  const bool bigEndian = target ? (target->uid ? qzcString(target->uid) == qzmDicomDataElementSet::ExplicitVRBigEndian
                                               : target->policy == implicit_big_endian)
                                : sourceBigEndian;
  // The set writer swaps words, not the units of wider samples: a whole
  // native set of them changing byte order is rewritten from its frames.
  const bool reorderWide = !decode && whole && Structure.Sample.IsWide() && bigEndian != sourceBigEndian;
  if (reorderWide && !DecodedPixelData(set, frames, decoded)) {
    qzcError(SaveSignature, "unable to prepare the %u-bit samples!", unsigned(Structure.Sample.BitsAllocated)).Report();
    return false;
  }
  if (reorderWide && decoded.OB().GetSize() != StoredBytes(set.find(PixelElementFor(Structure.Sample))->second)) {
    qzcError(SaveSignature, "the pixel data are not %u frame(s) of %u-bit samples: not written in the other byte order!",
             unsigned(frames), unsigned(Structure.Sample.BitsAllocated))
        .Report();
    return false;
  }
  ofbstream ofs;
  if (!OpenDestination(ofs, name, context.ToStandardOutput, SaveSignature))
    return false;
  const auto putWide = [&](SetEditor& editor, const qzmDicomDataElementValue& samples) {
    if (PutWideSamples(editor.Replace(PixelElementFor(Structure.Sample)), samples, Structure.Sample, bigEndian))
      return true;
    qzcError(SaveSignature, "unable to prepare the %u-bit samples!", unsigned(Structure.Sample.BitsAllocated)).Report();
    return false;
  };
  {
    SetEditor editor(set);
    if (target && hasTransferSyntax)
      editor.Replace(TransferSyntaxTag).UI() = target->uid;
    if (decode) {
      SetDecodedElements(editor, decodedFrames > 1 ? WholeSetLayout(set, *this) : *this, decodedFrames);
      // A frame taken alone is a single-frame image, as in native outputs.
      if (!whole)
        editor.Remove(NumberOfFramesTag);
      if (decodedFrames == 1)
        KeepFunctionalGroupsOfFrame(editor, set, SourceFrame);
      if (!Structure.Sample.IsWide())
        editor.Replace(PixelDataTag) = decoded;
      else if (!putWide(editor, decoded))
        return false;
    } else {
      SetImageElements(editor, *this, whole);
      if (reorderWide) {
        if (!putWide(editor, decoded))
          return false;
      } else if (whole) {
        qzcWarning(SaveSignature, "using original Pixel Data.").Report();
      } else {
        editor.Remove(NumberOfFramesTag);
        KeepFunctionalGroupsOfFrame(editor, set, SourceFrame);
        if (Structure.Sample.IsWide()) {
          if (!ArePixelsReady() || !putWide(editor, Pixels.Value))
            return false;
        } else {
          editor.Replace(PixelDataTag) = Pixels.Date >= SourcePixels.Date ? Pixels.Value : SourcePixels.Value;
        }
      }
    }
    set.WriteAsFile(ofs, target && !hasTransferSyntax ? target->policy : nullptr);
  }
  return FinishDestination(ofs, name, context.ToStandardOutput, SaveSignature);
}

bool qzmMedicalFrame::DecodedPixelData(const qzmDicomDataElementSet& set, UWORD frames,
                                       qzmDicomDataElementValue& decoded) {
  if (frames <= 1) {
    if (!ArePixelsReady())
      return false;
    decoded = Pixels.Value;
    return true;
  }
  const auto pixels = [](qzmMedicalFrame& frame) { return frame.ArePixelsReady() ? &frame.Pixels : nullptr; };
  return ConcatenateFrames(set, frames, pixels, decoded, SaveSignature);
}

bool qzmMedicalFrame::SaveFromScratchAsDicom(const qzcFileName& name, const bool toStandardOutput) const {
  qzmDicomDataElementSet set;
  if (!Modality.empty())
    set[ModalityTag].CS() = Modality;
  set[RowsTag].US() = Structure.Rows;
  set[ColumnsTag].US() = Structure.Columns;
  if (HasPixelSpacing) {
    set[PixelSpacingTag].DS() = Decimal(PixelSpacing[0]) + "\\" + Decimal(PixelSpacing[1]);
    if (SliceThickness != 0)
      set[SliceThicknessTag].DS() = Decimal(SliceThickness);
  }
  if (HasPixelPaddingValue)
    set[PixelPaddingTag].SS() = PixelPaddingValue;
  set[PhotometricTag].CS() = Structure.PhotometricInterpretation;
  set[SamplesPerPixelTag].US() = Structure.SamplesPerPixel;
  if (Structure.SamplesPerPixel > 1)
    set[PlanarConfigurationTag].US() = Structure.PlanarConfiguration;
  set[PixelRepresentationTag].US() = Structure.Sample.PixelRepresentation;
  set[BitsAllocatedTag].US() = Structure.Sample.BitsAllocated;
  set[BitsStoredTag].US() = Structure.Sample.BitsStored;
  set[HighBitTag].US() = Structure.Sample.HighBit;

  // Preparing the pixels changes buffers, not the image: a copy serves.
  qzmMedicalFrame frame(*this);
  if (!frame.ArePixelsReady()) {
    qzcWarning(ScratchSignature, "pixels format is not supported.").Report();
    return false;
  }
  if (frame.Structure.Sample.IsWide()) {
    if (!PutWideSamples(set[PixelElementFor(Structure.Sample)], frame.Pixels.Value, Structure.Sample, false))
      return false;
  } else {
    set[PixelDataTag] = frame.Pixels.Value;
  }
  if (Structure.PhotometricInterpretation == "PALETTE COLOR" || Structure.PhotometricInterpretation == "ARGB") {
    qzcError(ScratchSignature, "saving Photometric Interpretation %s as DICOM not implemented! (email me)",
             Structure.PhotometricInterpretation.c_str())
        .Report();
    return false;
  }
  if (Windowing.HasWindowing) {
    set[WindowCenterTag].DS() = Decimal(Windowing.WindowCenter);
    set[WindowWidthTag].DS() = Decimal(Windowing.WindowWidth);
    set[RescaleInterceptTag].DS() = Decimal(Windowing.RescaleIntercept);
    set[RescaleSlopeTag].DS() = Decimal(Windowing.RescaleSlope);
  }
  ofbstream ofs;
  if (!OpenDestination(ofs, name, toStandardOutput, ScratchSignature))
    return false;
  set.WriteAsFile(ofs);
  return FinishDestination(ofs, name, toStandardOutput, ScratchSignature);
}
