// The frame model: the sample layout, the cleared state, the window in
// stored values and the transfer-syntax test shared by the pixel code.
#include "frame/qzmMedicalFrame.h"

#include "frame/FrameNumbers.h"
#include "dicom/qzmDicomDataElementSet.h"
#include "lib/qzcWarning.h"

#include <cmath>

void qzmMedicalFrame::Structure::Sample::SetBitsAllocatedStoredHigh(const UWORD allocated, UWORD stored, UWORD high) {
  static const char* const signature =
      "qzmMedicalFrame::Structure::Sample::SetBitsAllocatedStoredHigh( const UWORD, const UWORD, const UWORD )";
  if (stored > allocated) {
    qzcWarning(signature, "Bits Stored %u > Bits Allocated %u ! Clamping.", unsigned(stored), unsigned(allocated))
        .Report();
    stored = allocated;
  }
  if (int(high) > int(allocated) - 1) {
    qzcWarning(signature, "High Bit %u > (Bits Allocated - 1) %u ! Clamping.", unsigned(high), unsigned(allocated - 1))
        .Report();
    high = UWORD(allocated - 1);
  }
  BitsAllocated = allocated;
  BitsStored = stored;
  HighBit = high;
  LowBit = UWORD(high - stored + 1);
  StoredMask = UWORD(stored >= 16 ? 0xFFFF : (1u << stored) - 1);
}

bool qzmMedicalFrame::Structure::Sample::IsAddressable() const {
  if (FloatingPoint)
    return (BitsAllocated == 32 || BitsAllocated == 64) && BitsStored == BitsAllocated;
  if (IsWide())
    return BitsAllocated == 32 && BitsStored != 0 && HighBit + 1 >= BitsStored && HighBit < BitsAllocated;
  return BitsAllocated != 0 && BitsStored != 0 && BitsStored <= 16 && HighBit + 1 >= BitsStored &&
         HighBit < BitsAllocated;
}

qzmMedicalFrame::qzmMedicalFrame() {
  Reset();
}

void qzmMedicalFrame::Reset() {
  Structure.Rows = Structure.Columns = 0;
  Structure.Sample.BitsAllocated = Structure.Sample.BitsStored = Structure.Sample.HighBit = 0;
  Structure.Sample.FloatingPoint = false;
  Structure.PhotometricInterpretation.clear();
  Modality.clear();
  TransferSyntax.clear();
  SliceThickness = 0;
  HasPixelSpacing = HasPixelPaddingValue = HasClut = SpacingChanged = false;
  Windowing.HasWindowing = false;
  PaddingReplacement = 0;
  Windowing.RescaleSlope = 1.0f;
  Windowing.RescaleIntercept = 0;
}

bool qzmMedicalFrame::SetWindow(double center, double width, double intercept, double slope) {
  const bool usable = std::isfinite(center) && std::isfinite(width) && std::isfinite(intercept) &&
                      std::isfinite(slope) && float(slope) != 0.0f;
  if (!usable) {
    Windowing.HasWindowing = false;
    qzcWarning("bool qzmMedicalFrame::SetWindow(double, double, double, double)",
               "unusable window (center %g, width %g, intercept %g, slope %g), no windowing!", center, width, intercept,
               slope)
        .Report();
    return false;
  }
  Windowing.Center = center;
  Windowing.Width = width;
  Windowing.WindowCenter = TruncateClamped<SWORD>(center);
  Windowing.WindowWidth = TruncateClamped<UWORD>(width);
  Windowing.RescaleIntercept = TruncateClamped<SWORD>(intercept);
  Windowing.RescaleSlope = float(slope);
  UpdateStoredWindow();
  if (!Windowing.HasWindowing)
    qzcWarning("bool qzmMedicalFrame::SetWindow(double, double, double, double)",
               "window width %g is empty in stored values, no windowing!", width)
        .Report();
  return Windowing.HasWindowing;
}

void qzmMedicalFrame::UpdateStoredWindow() {
  const float slope = Windowing.RescaleSlope;
  if (!std::isfinite(slope) || slope == 0.0f) {
    Windowing.HasWindowing = false;
    return;
  }
  const SLONG offset = SLONG(Windowing.WindowCenter) - SLONG(Windowing.RescaleIntercept);
  const SWORD center = TruncateClamped<SWORD>(double(float(offset) / slope));
  const SLONG width = TruncateClamped<SLONG>(double(float(Windowing.WindowWidth) / slope));
  Windowing.StoredWindowWidth = UWORD(width & 0xFFFF);
  Windowing.StoredWindowMin = SWORD(center - (Windowing.StoredWindowWidth >> 1));
  Windowing.StoredWindowMax = SWORD(SWORD(Windowing.StoredWindowMin) + Windowing.StoredWindowWidth - 1);
  // A window of width 0 maps samples as a threshold at its minimum.
  Windowing.HasWindowing = true;
}

void qzmMedicalFrame::MoveWindowWithSamples(const SLONG offset) {
  Windowing.RescaleIntercept =
      TruncateClamped<SWORD>(double(Windowing.RescaleIntercept) - double(Windowing.RescaleSlope) * offset);
  if (Windowing.HasWindowing) {
    Windowing.StoredWindowMin += offset;
    Windowing.StoredWindowMax += offset;
  }
}

void qzmMedicalFrame::MarkNewSource() {
  SourcePixels.Date = (Pixels.Date > SourcePixels.Date ? Pixels.Date : SourcePixels.Date) + 1;
}

bool qzmMedicalFrame::HasNativePixelData() const {
  return TransferSyntax.empty() || qzmDicomDataElementSet::IsNativeSyntax(TransferSyntax);
}

ULONG qzmMedicalFrame::StoredSampleCount() const {
  if (Structure.PhotometricInterpretation == "YBR_FULL_422" && Structure.SamplesPerPixel == 3)
    return 4 * ((Structure.NumberOfPixels + 1) / 2);
  return Structure.NumberOfSamples;
}
