// One image frame taken out of a DICOM data set (or read from a BMP or RAW
// file): its geometry, sample layout, colour tables, rescale and window, and
// its pixel data with every image derived from them.
//
// Pixel buffers follow a stamp protocol: a derived buffer is up to date when
// its Date is not less than the Date of the buffer it is computed from.
// Building a frame only records a view on the Pixel Data element and stamps it
// newer than Pixels, so the first pixel operation prepares the samples.
#ifndef QZM_MEDICAL_FRAME_H
#define QZM_MEDICAL_FRAME_H

#include "lib/qzcTypes.h"
#include "lib/qzcString.h"
#include "lib/qzcDatedValue.h"
#include "dicom/qzmDicomDataElementValue.h"
#include "dicom/qzmDicomDataElementTagSet.h"

#include <memory>
#include <string>

class iobs;
class qzmFrameFragments;
class qzcFileName;
class qzmDicomDataElementSet;

class qzmMedicalFrame {
 public:
  // Geometry of a frame; also carries the --sample and --size settings.
  struct Structure {
    // Bit layout of one sample. A stored value is read from a sample word w
    // as (w >> LowBit) & StoredMask.
    struct Sample {
      UWORD PixelRepresentation = 0;  // 0 unsigned, 1 two's complement
      UWORD BitsAllocated = 0;
      UWORD BitsStored = 0;
      UWORD HighBit = 0;
      UWORD LowBit = 0;      // derived: HighBit - BitsStored + 1
      UWORD StoredMask = 0;  // derived: the low BitsStored bits set
      // IEEE floating-point samples of BitsAllocated 32 or 64 bits, from
      // Float or Double Float Pixel Data (Bits Stored equal, no representation).
      bool FloatingPoint = false;

      // Stores the three values (clamping stored and high bit to what the
      // allocation allows, with a warning) and the two derived fields.
      void SetBitsAllocatedStoredHigh(const UWORD allocated, const UWORD stored, const UWORD high);
      // True when the pixel code can address the layout: 1 to 16 stored
      // bits lying inside the allocated bits, 1 to 32 stored bits in 32
      // allocated, or 32- and 64-bit floating-point samples.
      bool IsAddressable() const;
      // Samples of more than 16 bits: 32-bit integers or floating-point
      // numbers, served by qzmWideSamples.
      bool IsWide() const { return BitsAllocated > 16; }
      // The number a stored value of up to 16 bits stands for: for two's
      // complement samples, the stored bits sign-extended from BitsStored.
      SLONG NumberOf(UWORD stored) const {
        if (PixelRepresentation != 1 || BitsStored == 0 || BitsStored > 16)
          return stored;
        const SLONG sign = SLONG(1) << (BitsStored - 1);
        return SLONG(stored ^ sign) - sign;
      }
    };

    struct Sample Sample;
    UWORD Rows = 0;
    UWORD Columns = 0;
    qzcString PhotometricInterpretation;
    UWORD PlanarConfiguration = 0;  // 0 colour-by-pixel, 1 colour-by-plane
    UWORD SamplesPerPixel = 1;
    ULONG NumberOfPixels = 0;   // Rows x Columns
    ULONG NumberOfSamples = 0;  // SamplesPerPixel x NumberOfPixels
  };

  // Rescale and window, in output (rescaled) units and in stored values.
  struct Windowing {
    bool HasWindowing = false;
    float RescaleSlope = 1.0f;
    SWORD RescaleIntercept = 0;
    UWORD WindowWidth = 0;
    SWORD WindowCenter = 0;
    // Center and width as given, before truncation: the window of
    // floating-point and 32-bit samples (a dose in Gy) is taken from them.
    double Center = 0;
    double Width = 0;
    UWORD StoredWindowWidth = 0;
    // 32 bits: a window moved by --changepr may lie above 32767.
    SLONG StoredWindowMin = 0;
    SLONG StoredWindowMax = 0;
  };

  // Output options chosen by the user and read by the writers.
  struct ConversionContext {
    enum class CompressionLevel : UWORD { no = 0, standard = 1, fast = 2, best = 3 };
    enum class ReSamplingMethod : UWORD { no = 0, shift = 1, near = 2, linear = 3 };

    // The fields carry the names of their types: inside this record and
    // through a qualified name the types need the enum keyword, elsewhere
    // the frame's aliases below serve.
    CompressionLevel Compression = CompressionLevel::standard;
    enum ReSamplingMethod ReSamplingMethod = ReSamplingMethod::linear;
    bool ApplyWindowing = false;
    bool ToStandardOutput = false;
  };

  typedef enum ConversionContext::ReSamplingMethod ReSamplingMethod;
  typedef enum ConversionContext::CompressionLevel CompressionLevel;

  // Run options of the driver; the frame-related ones supply what an input
  // lacks (RAW geometry, spacing, modality, padding).
  struct ConversionSettings {
    qzcString DestinationPath;
    iobs& (*ReadSyntax)(iobs&) = nullptr;
    UWORD AnonymizeFlags = 0;
    qzmDicomDataElementTagSet AnonymizeTags;
    qzcString RenamePattern;
    struct Structure Structure;
    bool HasPixelSpacing = false;
    float PixelSpacing[2] = {0.0f, 0.0f};  // row spacing, column spacing
    float SliceThickness = 0.0f;
    qzcString Modality;
    bool HasPixelPaddingValue = false;
    UWORD PixelPaddingValue = 0;
    UWORD PaddingReplacement = 0;
  };

  struct Structure Structure;
  bool HasPixelSpacing = false;
  float PixelSpacing[2] = {0.0f, 0.0f};
  float SliceThickness = 0.0f;
  // True once the spacing is not the set's own (halved, or supplied by the
  // settings): only then do outputs write it instead of keeping the set's text.
  bool SpacingChanged = false;
  bool HasPixelPaddingValue = false;
  SWORD PixelPaddingValue = 0;
  UWORD PaddingReplacement = 0;
  bool HasClut = false;
  UWORD ClutEntries = 0;
  UWORD ClutFirstMapped = 0;
  UWORD ClutBitsPerEntry = 0;
  qzmDicomDataElementValue RedClut;
  qzmDicomDataElementValue GreenClut;
  qzmDicomDataElementValue BlueClut;
  struct Windowing Windowing;
  qzcString Modality;
  qzcString TransferSyntax;
  UWORD SourceFrame = 1;  // the number (from 1) of the frame in its set

  // Pixel buffers, owned by the frame; operations hand out references.
  qzcDatedValue SourcePixels;  // view on this frame's bytes in the Pixel Data element
  qzcDatedValue Pixels;        // native samples, colour-by-pixel, one frame
  qzcDatedValue Resampled8;
  qzcDatedValue Resampled16;
  qzcDatedValue ResampledBGR24;
  qzcDatedValue ResampledRGB24;
  qzcDatedValue ResampledRGB48;
  qzcDatedValue OrganizedRaw;  // samples unpacked to whole bytes or words
  qzcDatedValue Inverted8;
  qzcDatedValue Inverted16;
  qzcDatedValue Fragments;  // concatenated fragment contents
  qzcDatedValue MaxCache;
  qzcDatedValue MinCache;
  qzcDatedValue MeanCache;

  // Where the frames of the set the frame was last built from lie in its
  // encapsulated Pixel Data, shared by the set's frames (the key names the
  // element and its frame count).
  std::shared_ptr<const qzmFrameFragments> FragmentMap;
  std::string FragmentMapKey;

  // --- construction (frame model) ---
  qzmMedicalFrame();

  void Reset();
  bool UpdateFrom(const qzmDicomDataElementSet& set, const UWORD frame);
  bool UpdateFrom(const qzcFileName& file, const ConversionSettings& settings);
  void UpdateStoredWindow();
  // Sets center, width, intercept and slope (truncated and clamped to their
  // fields) and recomputes the stored window. A zero slope or a non-finite
  // value leaves the frame without a window, with a warning; false then.
  bool SetWindow(double center, double width, double intercept, double slope);
  // (0028,0008) Number of Frames of a set, read as a decimal integer; 1
  // when the set lacks it.
  static UWORD FrameCountOf(const qzmDicomDataElementSet& set);
  // The element that holds a set's samples: Pixel Data, or else one of the
  // floating-point ones (Pixel Data when the set has none).
  static qzmDicomDataElementTag PixelElementOf(const qzmDicomDataElementSet& set);
  // Samples one frame of native data stores: two per pixel for YBR_FULL_422
  // (each pair of pixels shares its chrominance), else NumberOfSamples.
  ULONG StoredSampleCount() const;
  // True when a stored value is the padding value: for two's complement
  // samples in the stored bits, so that 12-bit -2000 is found.
  bool IsPaddingStored(UWORD stored) const {
    if (!HasPixelPaddingValue)
      return false;
    // Two's complement padding is compared in the stored bits: -2000 is
    // 0x830 in 12 bits.
    if (Structure.Sample.PixelRepresentation == 1)
      return stored == (UWORD(PixelPaddingValue) & Structure.Sample.StoredMask);
    return stored == UWORD(PixelPaddingValue);
  }

  // --- pixel data preparation ---
  bool ArePixelsReady();
  bool GetConcatenatedFragments(qzcDatedValue& out);
  // The frame's code stream decoded by the codec of its transfer syntax.
  bool DecodeFrame();
  // Full-range YBR samples (3 of 8 or 16 bits) become RGB.
  bool ConvertYbrToRgb();
  bool ChangePlanarConfigurationToColorByPixel();
  bool ChangePixelRepresentationToUnsigned(const SLONG offset);
  // Stored values became v + offset: the intercept and the stored window
  // follow them, so that the image in output units stays the same.
  void MoveWindowWithSamples(const SLONG offset);
  bool GetOrganizedToRaw(qzcDatedValue& out);
  bool GetInverted8(qzcDatedValue& source, qzcDatedValue& out);
  bool GetInverted16(qzcDatedValue& source, qzcDatedValue& out);

  // --- windowing and resampling ---
  bool GetResampledTo8(qzcDatedValue& out, bool windowing, const ReSamplingMethod& method);
  bool GetResampledTo16(qzcDatedValue& out, bool windowing, const ReSamplingMethod& method);
  bool GetResampledToBGR24(qzcDatedValue& out);
  bool GetResampledToRGB24(qzcDatedValue& out);
  bool GetResampledToRGB48(qzcDatedValue& out);

  // --- frame operations ---
  bool Accumulate(const qzmMedicalFrame& frame, const qzcString& mode);
  bool Mask(const qzmMedicalFrame& mask, const qzcString& mode);
  bool Crop(const UWORD x, const UWORD y, const UWORD w, const UWORD h);
  bool Halve();
  bool Fliph();
  bool Flipv();
  SLONG GetMax();
  SLONG GetMin();
  double GetMean();
  // The maximum and minimum as the numbers they are, also for samples of
  // more than 16 bits, whose GetMax and GetMin are clamped to 32 bits.
  double GetMaxNumber();
  double GetMinNumber();
  // Wide samples (IsWide) made host-order units of their own in Pixels.
  bool PrepareWideSamples();

  // --- image files ---
  bool SaveAsBMP(const qzcFileName& name, const ConversionContext& context);
  bool LoadAsBMP(const qzcFileName& name);
  bool SaveAsTARGA(const qzcFileName& name, const ConversionContext& context);
  bool SaveAsPNG(const qzcFileName& name, const ConversionContext& context, const qzmDicomDataElementSet* set);
  bool SaveAsJPEG(const qzcFileName& name, const ConversionContext& context);
  bool SaveAsRAW(const qzcFileName& name, const ConversionContext& context, UWORD mode, bool whole,
                 qzmDicomDataElementSet& set);
  bool LoadAsRaw(const qzcFileName& name, const ConversionSettings& settings);
  bool SaveAsDICOM(const qzcFileName& name, const ConversionContext& context, qzmDicomDataElementSet& set,
                   const qzcString& syntax, bool whole);
  // The decoded pixel data of this frame (frames 1) or of every frame of the
  // set, for a DICOM file in a native syntax.
  bool DecodedPixelData(const qzmDicomDataElementSet& set, UWORD frames, qzmDicomDataElementValue& decoded);
  bool SaveFromScratchAsDicom(const qzcFileName& name, const bool toStandardOutput) const;

  // Stamps a newly recorded SourcePixels: newer than Pixels, and newer than
  // the source of the previous build, whose derived buffers (fragments,
  // decoded RLE) must not be taken for this one's.
  void MarkNewSource();

  // True when the frame's transfer syntax is empty or one of the three
  // native syntaxes (the pixel data are not encapsulated).
  bool HasNativePixelData() const;
};

#endif
