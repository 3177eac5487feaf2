// DICOM output: a frame's own data set written again with its image
// elements brought in line with the (possibly processed) frame, in the same
// or another native transfer syntax; and a frame without a set (the
// accumulation buffer) written from scratch.
#include "formats/ImageWriting.h"
#include "frame/qzmMedicalFrame.h"
#include "frame/qzmImageTags.h"

#include "dicom/qzmDicomDataElementSet.h"
#include "lib/ofbstream.h"
#include "lib/qzcError.h"
#include "lib/qzcFileName.h"
#include "lib/qzcWarning.h"

#include <cstdio>
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
  if (frame.HasPixelSpacing && !keepSpacing) {
    editor.Replace(PixelSpacingTag).DS() = Decimal(frame.PixelSpacing[0]) + "\\" + Decimal(frame.PixelSpacing[1]);
    if (frame.SliceThickness != 0)
      editor.Replace(SliceThicknessTag).DS() = Decimal(frame.SliceThickness);
  }
  if (frame.HasPixelPaddingValue)
    editor.Replace(PixelPaddingTag).SS() = frame.PixelPaddingValue;
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
  const bool encapsulated = !HasNativePixelData();
  if (encapsulated && !whole) {
    if (frames > 1) {
      qzcWarning(SaveSignature,
                 "multiframe encapsulated/compressed data and single selection not supported (use --frame=whole).")
          .Report();
      return false;
    }
    whole = true;
  }
  const auto transferSyntax = set.find(TransferSyntaxTag);
  const bool hasTransferSyntax = transferSyntax != set.end();
  const TargetSyntax* target = syntax.empty() ? nullptr : FindTargetSyntax(syntax);
  if (!syntax.empty() && (!target || (hasTransferSyntax && !target->uid))) {
    qzcError(SaveSignature, "conversion to DICOM (-d), unsupported syntax %s!", syntax.c_str()).Report();
    return false;
  }
  // Compressed pixel data under a native syntax would be read as garbage:
  // they are decoded when the frame can be prepared, refused otherwise.
  if (target && encapsulated) {
    if (frames > 1 || !ArePixelsReady()) {
      qzcError(SaveSignature, "conversion to DICOM (-d=%s) of encapsulated/compressed data (%s) not supported!",
               syntax.c_str(), TransferSyntax.c_str())
          .Report();
      return false;
    }
    whole = false;
  }
  ofbstream ofs;
  if (!OpenDestination(ofs, name, context.ToStandardOutput, SaveSignature))
    return false;
  {
    SetEditor editor(set);
    if (target && hasTransferSyntax) {
      if (!qzmDicomDataElementSet::IsNativeSyntax(transferSyntax->second.UI()))
        qzcWarning(SaveSignature, "you are trying to change an encapsulated/compressed syntax to a native one!")
            .Report();
      editor.Replace(TransferSyntaxTag).UI() = target->uid;
    }
    SetImageElements(editor, *this, whole);
    if (whole) {
      qzcWarning(SaveSignature, "using original Pixel Data.").Report();
    } else {
      editor.Remove(NumberOfFramesTag);
      KeepFunctionalGroupsOfFrame(editor, set, SourceFrame);
      editor.Replace(PixelDataTag) = Pixels.Date >= SourcePixels.Date ? Pixels.Value : SourcePixels.Value;
    }
    set.WriteAsFile(ofs, target && !hasTransferSyntax ? target->policy : nullptr);
  }
  return FinishDestination(ofs, name, context.ToStandardOutput, SaveSignature);
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
  set[PixelDataTag] = frame.Pixels.Value;
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
