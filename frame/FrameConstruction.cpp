// Building a frame: from a data set and a frame number (every image tag with
// its defaults, the colour tables, the window, and a view on this frame's
// pixel bytes), or from a BMP or RAW image file.
#include "frame/qzmMedicalFrame.h"
#include "frame/qzmImageTags.h"

#include "codecs/qzmFrameFragments.h"
#include "frame/FrameNumbers.h"
#include "dicom/qzmDicomDataElementSet.h"
#include "lib/qzcError.h"
#include "lib/qzcFileName.h"
#include "lib/qzcWarning.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace {

typedef qzmDicomDataElementDescription VRs;

const char* const UpdateFromSetSignature =
    "bool qzmMedicalFrame::UpdateFrom(const qzmDicomDataElementSet&, const UWORD)";

using namespace qzmImageTags;

// Tag sets of the presence checks, built on first use.
const qzmDicomDataElementTagSet& ImageTags() {
  static const qzmDicomDataElementTagSet tags{RowsTag, ColumnsTag, BitsStoredTag, PixelRepresentationTag, PixelDataTag};
  return tags;
}

const Tag DoseGridScalingTag(0x3004, 0x000E);

// Float Pixel Data and Double Float Pixel Data are described by rows and
// columns alone.
const qzmDicomDataElementTagSet& FloatImageTags() {
  static const qzmDicomDataElementTagSet tags{RowsTag, ColumnsTag};
  return tags;
}

const qzmDicomDataElementTagSet& ClutTags() {
  static const qzmDicomDataElementTagSet tags{Tag(0x0028, 0x1101), Tag(0x0028, 0x1102), Tag(0x0028, 0x1103),
                                              Tag(0x0028, 0x1201), Tag(0x0028, 0x1202), Tag(0x0028, 0x1203)};
  return tags;
}

// An empty element (length 0) counts as absent.
const qzmDicomDataElementValue* Find(const qzmDicomDataElementSet& set, const Tag& tag) {
  const auto found = set.find(tag);
  return found == set.end() || found->second.IsEmpty() ? nullptr : &found->second;
}

// The text of a string element; empty when absent or not a string.
qzcString TextOf(const qzmDicomDataElementSet& set, const Tag& tag) {
  const qzmDicomDataElementValue* value = Find(set, tag);
  return value ? value->CS() : qzcString();
}

double DecimalComponent(const qzcString& text, unsigned n) {
  return std::strtod(text.GetField(n, "\\").c_str(), nullptr);
}

// The value of index of a numeric element, whether it came as a 16- or
// 32-bit number or (from a damaged file) as decimal text; 0 when absent.
double NumberOf(const qzmDicomDataElementValue& value, UWORD index = 0) {
  if (index >= value.GetCount() && !qzmDicomDataElementValue::IsStringVR(value.GetVR()))
    return 0;
  switch (value.GetVR()) {
    case VRs::US:
      return value.US(index);
    case VRs::SS:
      return value.SS(index);
    case VRs::UL:
      return value.UL(index);
    case VRs::SL:
      return value.SL(index);
    default:
      return qzmDicomDataElementValue::IsStringVR(value.GetVR()) ? DecimalComponent(value.CS(), index + 1u) : 0;
  }
}

// 0 for an empty element: the layout checks then refuse it.
UWORD FirstUS(const qzmDicomDataElementSet& set, const Tag& tag) {
  const qzmDicomDataElementValue* value = Find(set, tag);
  return value ? TruncateClamped<UWORD>(NumberOf(*value)) : 0;
}

// Samples per pixel that a photometric interpretation implies; 0 for an
// interpretation the frame cannot handle.
UWORD SamplesImpliedBy(const qzcString& photometric) {
  if (photometric == "MONOCHROME2" || photometric == "MONOCHROME1" || photometric == "PALETTE COLOR")
    return 1;
  // Luminance and chrominance: converted to RGB when the pixels are prepared.
  if (photometric == "RGB" || photometric == "HSV" || photometric.compare(0, 4, "YBR_") == 0)
    return 3;
  if (photometric == "ARGB" || photometric == "CMYK")
    return 4;
  return 0;
}

// Element count of an OB or OW value (bytes or words); 0 otherwise.
ULONG ElementCount(const qzmDicomDataElementValue& value) {
  if (value.GetVR() == VRs::OW)
    return value.OW().GetSize();
  if (value.GetVR() == VRs::OB || value.GetVR() == VRs::UN)
    return value.OB().GetSize();
  return 0;
}

// The elements that an enhanced multi-frame image may give each frame, by the
// functional group macro that carries them.
const struct {
  Tag macro;
  Tag elements[2];
} FrameLevelMacros[] = {
    {Tag(0x0028, 0x9110), {PixelSpacingTag, SliceThicknessTag}},    // Pixel Measures
    {Tag(0x0028, 0x9132), {WindowCenterTag, WindowWidthTag}},       // Frame VOI LUT
    {Tag(0x0028, 0x9145), {RescaleInterceptTag, RescaleSlopeTag}},  // Pixel Value Transformation
};
const Tag SharedFunctionalGroupsTag(0x5200, 0x9229), PerFrameFunctionalGroupsTag(0x5200, 0x9230);

// The n-th item (from 0) of a sequence of set; null when there is none.
const qzmDicomDataElementSet* ItemOf(const qzmDicomDataElementSet& set, const Tag& sequence, std::size_t n = 0) {
  const qzmDicomDataElementValue* value = Find(set, sequence);
  if (value == nullptr || value->GetVR() != VRs::SQ || n >= value->SQ().size())
    return nullptr;
  return value->SQ()[n].get();
}

// Copies the elements of the macros that a functional groups item holds.
void TakeMacros(const qzmDicomDataElementSet* groups, qzmDicomDataElementSet& levels) {
  if (groups == nullptr)
    return;
  for (const auto& macro : FrameLevelMacros)
    if (const qzmDicomDataElementSet* item = ItemOf(*groups, macro.macro))
      for (const Tag& tag : macro.elements)
        if (const qzmDicomDataElementValue* value = Find(*item, tag))
          levels[tag] = *value;
}

// Spacing, thickness, padding, window and rescale of one frame (from 1):
// each from the frame's item of the Per-frame Functional Groups, else from
// the Shared Functional Groups, else from the top level.
qzmDicomDataElementSet FrameLevelElements(const qzmDicomDataElementSet& set, UWORD frame) {
  qzmDicomDataElementSet levels;
  for (const Tag& tag : {PixelSpacingTag, SliceThicknessTag, PixelPaddingTag, WindowCenterTag, WindowWidthTag,
                         RescaleInterceptTag, RescaleSlopeTag})
    if (const qzmDicomDataElementValue* value = Find(set, tag))
      levels[tag] = *value;
  TakeMacros(ItemOf(set, SharedFunctionalGroupsTag), levels);
  TakeMacros(ItemOf(set, PerFrameFunctionalGroupsTag, frame - 1u), levels);
  return levels;
}

bool ReadGeometry(qzmMedicalFrame& frame, const qzmDicomDataElementSet& set);
bool ReadSampleLayout(qzmMedicalFrame& frame, const qzmDicomDataElementSet& set, const Tag& pixelElement);
void ReadSpacingAndPadding(qzmMedicalFrame& frame, const qzmDicomDataElementSet& set);
bool ReadClut(qzmMedicalFrame& frame, const qzmDicomDataElementSet& set);
bool ReadWindow(qzmMedicalFrame& frame, const qzmDicomDataElementSet& set);
bool ViewEncapsulatedFrame(qzmMedicalFrame& frame, const qzmDicomDataElementSet& set,
                           const qzmDicomDataElementValue& pixelData, UWORD f, UWORD n);
bool ViewNativeFrame(qzmMedicalFrame& frame, const qzmDicomDataElementValue& pixelData, UWORD f, UWORD n);

// Size, photometric interpretation, samples per pixel and planar configuration.
bool ReadGeometry(qzmMedicalFrame& frame, const qzmDicomDataElementSet& set) {
  struct qzmMedicalFrame::Structure& structure = frame.Structure;
  structure.Rows = FirstUS(set, RowsTag);
  structure.Columns = FirstUS(set, ColumnsTag);
  structure.NumberOfPixels = ULONG(structure.Rows) * structure.Columns;
  if (structure.NumberOfPixels == 0) {
    qzcError(UpdateFromSetSignature, "frame of %u rows and %u columns has no pixels!", unsigned(structure.Rows),
             unsigned(structure.Columns))
        .Report();
    return false;
  }

  structure.PhotometricInterpretation = TextOf(set, PhotometricTag);
  if (!Find(set, PhotometricTag)) {
    structure.PhotometricInterpretation = "MONOCHROME2";
    qzcWarning(UpdateFromSetSignature, "missing tag: (0028,0004) Photometric Interpretation. Assuming %s.",
               structure.PhotometricInterpretation.c_str())
        .Report();
  }
  const UWORD implied = SamplesImpliedBy(structure.PhotometricInterpretation);
  if (!implied) {
    qzcError(UpdateFromSetSignature, "can not handle photometric interpretation %s! (email me)",
             structure.PhotometricInterpretation.c_str())
        .Report();
    return false;
  }
  if (Find(set, SamplesPerPixelTag)) {
    structure.SamplesPerPixel = FirstUS(set, SamplesPerPixelTag);
  } else {
    structure.SamplesPerPixel = implied;
    qzcWarning(UpdateFromSetSignature, "missing tag: (0028,0002) Samples per Pixel. Assuming %u.", unsigned(implied))
        .Report();
  }
  if (structure.SamplesPerPixel != implied) {
    qzcError(UpdateFromSetSignature, "photometric interpretation %s does not match samples per pixel %u!",
             structure.PhotometricInterpretation.c_str(), unsigned(structure.SamplesPerPixel))
        .Report();
    return false;
  }
  // At most 4 samples of 65535 x 65535 pixels: the count fits 32 bits only
  // for smaller frames.
  const unsigned long long samples = (unsigned long long)(structure.SamplesPerPixel) * structure.NumberOfPixels;
  if (samples > std::numeric_limits<ULONG>::max()) {
    qzcError(UpdateFromSetSignature, "frame of %u x %u pixels with %u samples each is too large!",
             unsigned(structure.Columns), unsigned(structure.Rows), unsigned(structure.SamplesPerPixel))
        .Report();
    return false;
  }
  structure.NumberOfSamples = ULONG(samples);
  if (structure.SamplesPerPixel > 1) {
    if (!Find(set, PlanarConfigurationTag)) {
      qzcError(UpdateFromSetSignature, "missing tag: (0028,0006) Planar Configuration!").Report();
      return false;
    }
    structure.PlanarConfiguration = FirstUS(set, PlanarConfigurationTag);
    if (structure.PlanarConfiguration > 1) {
      qzcError(UpdateFromSetSignature, "(0028,0006) Planar Configuration %u not implemented! (email me)",
               unsigned(structure.PlanarConfiguration))
          .Report();
      return false;
    }
  }
  return true;
}

// Pixel representation and the bits of a sample, and the refusal of layouts
// the pixel code cannot address.
bool ReadSampleLayout(qzmMedicalFrame& frame, const qzmDicomDataElementSet& set, const Tag& pixelElement) {
  struct qzmMedicalFrame::Structure::Sample& sample = frame.Structure.Sample;
  if (pixelElement != PixelDataTag) {
    const UWORD bits = pixelElement == FloatPixelDataTag ? 32 : 64;
    sample.PixelRepresentation = 0;
    sample.SetBitsAllocatedStoredHigh(bits, bits, UWORD(bits - 1));
    sample.FloatingPoint = true;
    return true;
  }
  sample.PixelRepresentation = FirstUS(set, PixelRepresentationTag);
  const UWORD stored = FirstUS(set, BitsStoredTag);
  UWORD high = UWORD(stored - 1);
  if (Find(set, HighBitTag)) {
    high = FirstUS(set, HighBitTag);
  } else {
    qzcWarning(UpdateFromSetSignature, "missing tag: (0028,0102) High Bit. Assuming %i.", int(SWORD(high))).Report();
  }
  UWORD allocated;
  if (Find(set, BitsAllocatedTag)) {
    allocated = FirstUS(set, BitsAllocatedTag);
  } else {
    allocated = UWORD(8 * ((int(stored) - 1) / 8) + 8);
    qzcWarning(UpdateFromSetSignature, "missing tag: (0028,0100) Bits Allocated. Assuming %i.", int(allocated))
        .Report();
  }
  sample.SetBitsAllocatedStoredHigh(allocated, stored, high);
  if (!sample.IsAddressable()) {
    qzcError(UpdateFromSetSignature, "unsupported sample layout (Bits Allocated %u, Bits Stored %u, High Bit %u)!",
             unsigned(sample.BitsAllocated), unsigned(sample.BitsStored), unsigned(sample.HighBit))
        .Report();
    return false;
  }
  return true;
}

// Pixel spacing, slice thickness and the padding value.
void ReadSpacingAndPadding(qzmMedicalFrame& frame, const qzmDicomDataElementSet& set) {
  frame.HasPixelSpacing = Find(set, PixelSpacingTag) != nullptr;
  if (frame.HasPixelSpacing) {
    const qzcString spacing = TextOf(set, PixelSpacingTag);
    frame.PixelSpacing[0] = float(DecimalComponent(spacing, 1));
    frame.PixelSpacing[1] = float(DecimalComponent(spacing, 2));
    if (Find(set, SliceThicknessTag))
      frame.SliceThickness = float(std::strtod(TextOf(set, SliceThicknessTag).c_str(), nullptr));
  }
  frame.HasPixelPaddingValue = false;
  if (const qzmDicomDataElementValue* padding = Find(set, PixelPaddingTag)) {
    frame.PixelPaddingValue = SWORD(TruncateClamped<SLONG>(NumberOf(*padding)));
    frame.HasPixelPaddingValue = frame.PixelPaddingValue != 0;
    if (!frame.HasPixelPaddingValue)
      qzcWarning(UpdateFromSetSignature, "Pixel padding value is 0, ignoring it.").Report();
  }
}

// The colour lookup tables of PALETTE COLOR and ARGB frames.
bool ReadClut(qzmMedicalFrame& frame, const qzmDicomDataElementSet& set) {
  const struct qzmMedicalFrame::Structure& structure = frame.Structure;
  frame.HasClut = false;
  if (structure.PhotometricInterpretation != "PALETTE COLOR" && structure.PhotometricInterpretation != "ARGB")
    return true;
  if (structure.Sample.BitsAllocated > 8) {
    qzcError(UpdateFromSetSignature,
             "can not handle Bits Allocated %u > 8 for Photometric Interpretation %s! (email me)",
             unsigned(structure.Sample.BitsAllocated), structure.PhotometricInterpretation.c_str())
        .Report();
    return false;
  }
  if (!std::all_of(ClutTags().begin(), ClutTags().end(), [&set](const Tag& tag) { return Find(set, tag); })) {
    qzcError(UpdateFromSetSignature, "missing CLUT mandatory tags in set!").Report();
    return false;
  }
  const qzmDicomDataElementValue& red = *Find(set, Tag(0x0028, 0x1101));
  if (red.GetVR() != VRs::US || Find(set, Tag(0x0028, 0x1102))->GetVR() != VRs::US ||
      Find(set, Tag(0x0028, 0x1103))->GetVR() != VRs::US) {
    qzcError(UpdateFromSetSignature, "invalid CLUT descriptors! shall use VR = US! (email me)").Report();
    return false;
  }
  frame.HasClut = true;
  frame.ClutEntries = TruncateClamped<UWORD>(NumberOf(red, 0));
  frame.ClutFirstMapped = TruncateClamped<UWORD>(NumberOf(red, 1));
  frame.ClutBitsPerEntry = TruncateClamped<UWORD>(NumberOf(red, 2));
  frame.RedClut = *Find(set, Tag(0x0028, 0x1201));
  frame.GreenClut = *Find(set, Tag(0x0028, 0x1202));
  frame.BlueClut = *Find(set, Tag(0x0028, 0x1203));
  const VRs::VR vr = frame.RedClut.GetVR();
  if (frame.GreenClut.GetVR() != vr || frame.BlueClut.GetVR() != vr) {
    qzcError(UpdateFromSetSignature, "CLUTs with different binary structures (OW|OB) not supported!").Report();
    return false;
  }
  if (vr == VRs::OB) {
    qzcWarning(UpdateFromSetSignature, "CLUTs encoded with VR = OB are prohibited, but let's try!").Report();
  } else if (vr != VRs::OW) {
    qzcError(UpdateFromSetSignature, "can not handle CLUTs when VR is not OW!").Report();
    return false;
  }
  for (const qzmDicomDataElementValue* table : {&frame.RedClut, &frame.GreenClut, &frame.BlueClut})
    if (ElementCount(*table) != frame.ClutEntries) {
      qzcError(UpdateFromSetSignature, "%u CLUT entries were attended, %u were found (check VR shall be OW)!",
               unsigned(frame.ClutEntries), unsigned(ElementCount(frame.RedClut)))
          .Report();
      return false;
    }
  return true;
}

// Window, rescale and their defaults.
bool ReadWindow(qzmMedicalFrame& frame, const qzmDicomDataElementSet& set) {
  struct qzmMedicalFrame::Windowing& windowing = frame.Windowing;
  windowing.HasWindowing = false;
  if (!Find(set, WindowCenterTag))
    return true;
  if (!Find(set, WindowWidthTag)) {
    qzcError(UpdateFromSetSignature, "missing Windowing mandatory tags in set!").Report();
    return false;
  }
  const double width = DecimalComponent(TextOf(set, WindowWidthTag), 1);
  const double center = DecimalComponent(TextOf(set, WindowCenterTag), 1);
  double intercept = frame.Modality == "CT" ? -1024 : 0;
  if (Find(set, RescaleInterceptTag)) {
    intercept = std::strtod(TextOf(set, RescaleInterceptTag).c_str(), nullptr);
  } else {
    qzcWarning(UpdateFromSetSignature, "missing tag: (0028,1052) Rescale Intercept. Modality is %s. Assuming %i.",
               frame.Modality.c_str(), int(intercept))
        .Report();
  }
  double slope = 1.0;
  if (Find(set, RescaleSlopeTag)) {
    slope = float(std::strtod(TextOf(set, RescaleSlopeTag).c_str(), nullptr));
  } else {
    qzcWarning(UpdateFromSetSignature, "missing tag: (0028,1053) Rescale Slope. Modality is %s. Assuming %f.",
               frame.Modality.c_str(), slope)
        .Report();
  }
  frame.SetWindow(center, width, intercept, slope);
  return true;
}

// A dose grid's Dose Grid Scaling is the slope from stored values to Gy
// when the set has no Rescale Slope of its own.
void ReadDoseScaling(qzmMedicalFrame& frame, const qzmDicomDataElementSet& set) {
  if (frame.Modality != "RTDOSE" || Find(set, RescaleSlopeTag) || !Find(set, DoseGridScalingTag))
    return;
  const double scaling = DecimalComponent(TextOf(set, DoseGridScalingTag), 1);
  if (!std::isfinite(scaling) || float(scaling) == 0.0f)
    return;
  frame.Windowing.RescaleSlope = float(scaling);
  if (frame.Windowing.HasWindowing)
    frame.UpdateStoredWindow();
}

// An OB or OW value as bytes: encapsulated items are bytes whatever the VR
// of the element says (some writers tag them OW).
qzmDicomDataElementValue BytesOf(const qzmDicomDataElementValue& pixelData) {
  if (pixelData.GetVR() != VRs::OW)
    return pixelData;
  qzmDicomDataElementValue words(pixelData);
  qzmDicomDataElementValue bytes;
  bytes.SetVR(VRs::OB);
  qzcDataLocation<UWORD>& location = words.OW();
  if (location.GetMode() == qzcDataLocation<UWORD>::file) {
    bytes.OB().SwitchToFileMode(location.GetFileName(), location.GetFileOffset(), ULONG(location.GetFileBFlags()));
  } else if (location.GetMode() == qzcDataLocation<UWORD>::memory) {
    // Words loaded from a little-endian stream hold the item bytes in order
    // on a little-endian host, the only one such data reach here on.
    bytes.OB().SetMemoryLocation(reinterpret_cast<UBYTE*>(location.GetMemoryLocation()));
  }
  bytes.OB().SetSize(location.GetSize() * 2);
  return bytes;
}

// The 64-bit entries of the Extended Offset Table; empty when absent or
// unreadable.
std::vector<unsigned long long> ExtendedOffsets(const qzmDicomDataElementSet& set) {
  std::vector<unsigned long long> offsets;
  const qzmDicomDataElementValue* table = Find(set, ExtendedOffsetTableTag);
  if (!table || (table->GetVR() != VRs::OB && table->GetVR() != VRs::OW && table->GetVR() != VRs::UN))
    return offsets;
  qzmDicomDataElementValue bytes = BytesOf(*table);
  const ULONG size = bytes.OB().GetSize();
  const UBYTE* data = size ? bytes.OB().GetMemoryLocation() : nullptr;
  if (!data)
    return offsets;
  for (ULONG k = 0; k + 8 <= size; k += 8) {
    unsigned long long offset = 0;
    for (int b = 7; b >= 0; --b)
      offset = offset << 8 | data[k + b];
    offsets.push_back(offset);
  }
  return offsets;
}

// The key under which a fragment map is kept: the element's place in its
// file, its frame count and offset tables. Data held in memory are mapped
// afresh each time (their address may serve another set later).
std::string FragmentMapKey(qzcDataLocation<UBYTE>& location, UWORD frames,
                           const std::vector<unsigned long long>& extended) {
  if (location.GetMode() != qzcDataLocation<UBYTE>::file)
    return std::string();
  unsigned long long hash = 14695981039346656037ull;  // FNV-1a of the extended offsets
  for (unsigned long long offset : extended)
    hash = (hash ^ offset) * 1099511628211ull;
  char numbers[96];
  std::snprintf(numbers, sizeof numbers, "@%lu:%lu/%u/%zu/%llx", (unsigned long)(location.GetFileOffset()),
                (unsigned long)(location.GetSize()), unsigned(frames), extended.size(), hash);
  return location.GetFileName() + numbers;
}

// The frame's items, located by the fragment map of the set. The
// map is made once per set (every frame of a set shares it) and reads only
// item headers and offset tables.
bool ViewEncapsulatedFrame(qzmMedicalFrame& frame, const qzmDicomDataElementSet& set,
                           const qzmDicomDataElementValue& pixelData, UWORD f, UWORD n) {
  qzmDicomDataElementValue bytes = BytesOf(pixelData);
  const std::vector<unsigned long long> extended = ExtendedOffsets(set);
  const std::string key = FragmentMapKey(bytes.OB(), n, extended);
  if (!frame.FragmentMap || key.empty() || frame.FragmentMapKey != key) {
    auto map = std::make_shared<qzmFrameFragments>();
    qzmDicomDataElementValue part;
    const auto read = [&bytes, &part](ULONG offset, ULONG count) -> const UBYTE* {
      part = bytes;
      part.OB().AddOffset(offset).SetSize(count);
      return part.OB().GetMemoryLocation();
    };
    frame.FragmentMap.reset();
    if (!map->Locate(read, bytes.OB().GetSize(), n, extended))
      return false;
    frame.FragmentMap = map;
    frame.FragmentMapKey = key;
  }
  const qzmFrameFragments::Span span = frame.FragmentMap->Frame(f);
  frame.SourcePixels.Value = bytes;
  frame.SourcePixels.Value.OB().AddOffset(span.Offset).SetSize(span.Length);
  return true;
}

// A view on the frame's bytes or words, which must lie within the
// element.
bool ViewNativeFrame(qzmMedicalFrame& frame, const qzmDicomDataElementValue& pixelData, UWORD f, UWORD n) {
  const struct qzmMedicalFrame::Structure& structure = frame.Structure;
  const bool words = pixelData.GetVR() == VRs::OW;
  const unsigned unitBits = words ? 16 : 8;
  const unsigned long long bits = (unsigned long long)(frame.StoredSampleCount()) * structure.Sample.BitsAllocated;
  const unsigned long long perFrame = (bits + unitBits - 1) / unitBits;
  const unsigned long long needed = perFrame * f;
  const ULONG found = ElementCount(pixelData);
  if (needed > found) {
    qzcError(UpdateFromSetSignature,
             words ? "missing pixel data (%lu words at least expected, %lu found)!"
                   : "missing pixel data (%lu bytes at least expected, %lu found)!",
             (unsigned long)(needed), (unsigned long)(found))
        .Report();
    return false;
  }
  if (n > 1 && (structure.Sample.BitsAllocated % 8 != 0 || perFrame % 2 != 0))
    qzcWarning(UpdateFromSetSignature,
               "%u frames, %u bits allocated, %lu bytes in frame... offset to frames pb ? (email me)", unsigned(n),
               unsigned(structure.Sample.BitsAllocated), (unsigned long)(perFrame))
        .Report();
  frame.SourcePixels.Value = pixelData;
  if (words) {
    frame.SourcePixels.Value.OW().AddOffset(ULONG(perFrame * (f - 1))).SetSize(ULONG(perFrame));
  } else {
    frame.SourcePixels.Value.SetVR(VRs::OB);
    frame.SourcePixels.Value.OB().AddOffset(ULONG(perFrame * (f - 1))).SetSize(ULONG(perFrame));
  }
  return true;
}

}  // namespace

Tag qzmMedicalFrame::PixelElementOf(const qzmDicomDataElementSet& set) {
  for (const Tag& tag : {PixelDataTag, FloatPixelDataTag, DoubleFloatPixelDataTag})
    if (set.find(tag) != set.end())
      return tag;
  return PixelDataTag;
}

// A count that is not a number, is negative or does not fit 16 bits is
// refused, with 0 frames, rather than wrapped.
UWORD qzmMedicalFrame::FrameCountOf(const qzmDicomDataElementSet& set) {
  const qzmDicomDataElementValue* frames = Find(set, NumberOfFramesTag);
  if (!frames)
    return 1;
  const qzcString text = frames->IS();
  char* end = nullptr;
  const long count = std::strtol(text.c_str(), &end, 10);
  while (*end == ' ')
    ++end;
  const char* const signature = "static UWORD qzmMedicalFrame::FrameCountOf( const qzmDicomDataElementSet& )";
  if (end == text.c_str() || count < 0 || count > 65535) {
    qzcError(signature, "wrong Number of Frames %s!", text.c_str()).Report();
    return 0;
  }
  // A number followed by stray characters (a damaged value such as "1A") is
  // read as the number it starts with, as other toolkits read it.
  if (*end != '\0')
    qzcWarning(signature, "Number of Frames %s read as %ld.", text.c_str(), count).Report();
  return UWORD(count);
}

bool qzmMedicalFrame::UpdateFrom(const qzmDicomDataElementSet& set, const UWORD frame) {
  Reset();
  const Tag pixelElement = PixelElementOf(set);
  const qzmDicomDataElementTagSet& needed = pixelElement == PixelDataTag ? ImageTags() : FloatImageTags();
  if (set.CountOf(needed) != needed.size() || !Find(set, pixelElement)) {
    qzcError(UpdateFromSetSignature, "missing image mandatory tags in set!").Report();
    return false;
  }
  const UWORD frames = FrameCountOf(set);
  if (frame > frames || frame == 0) {
    qzcError(UpdateFromSetSignature, "selected frame %u does not exist! There are %u frames in the set!",
             unsigned(frame), unsigned(frames))
        .Report();
    return false;
  }
  if (Find(set, ModalityTag)) {
    Modality = TextOf(set, ModalityTag);
  } else {
    qzcWarning(UpdateFromSetSignature, "modality is unknown!").Report();
  }
  if (!ReadGeometry(*this, set) || !ReadSampleLayout(*this, set, pixelElement))
    return false;
  const qzmDicomDataElementSet frameLevel = FrameLevelElements(set, frame);
  ReadSpacingAndPadding(*this, frameLevel);
  if (!ReadClut(*this, set) || !ReadWindow(*this, frameLevel))
    return false;
  ReadDoseScaling(*this, set);
  TransferSyntax = TextOf(set, TransferSyntaxTag);
  SourceFrame = frame;
  const qzmDicomDataElementValue& pixelData = *Find(set, pixelElement);
  const bool viewed = HasNativePixelData() ? ViewNativeFrame(*this, pixelData, frame, frames)
                                           : ViewEncapsulatedFrame(*this, set, pixelData, frame, frames);
  if (!viewed)
    return false;
  MarkNewSource();
  return true;
}

bool qzmMedicalFrame::UpdateFrom(const qzcFileName& file, const ConversionSettings& settings) {
  const std::size_t dot = file.rfind('.');
  const qzcString extension = dot == std::string::npos ? qzcString() : qzcString(file.substr(dot + 1));
  if (extension == "bmp")
    return LoadAsBMP(file);
  if (extension == "raw")
    return LoadAsRaw(file, settings);
  qzcError("bool qzmMedicalFrame::UpdateFrom(const qzcFileName&, const ConversionSettings&)",
           "sorry, this format is not supported (%s)!", extension.c_str())
      .Report();
  return false;
}
