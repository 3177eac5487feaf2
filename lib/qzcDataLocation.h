// Elements of type T held in memory (owned or shared) or left at a byte
// offset of a named file, together with the stream policy word needed to
// read them; loaded into memory on first request.
#ifndef QZC_DATA_LOCATION_H
#define QZC_DATA_LOCATION_H

#include "lib/iobs.h"
#include "lib/qzcFileName.h"
#include "lib/qzcObject.h"
#include "lib/qzcTypes.h"

#include <ostream>

class ofbstream;

template <typename T>
class qzcDataLocation : public qzcObject {
 public:
  enum Mode { file = 0, memory = 1, undefined = 2 };

  qzcDataLocation() = default;
  // A copy shares a memory block without owning it.
  qzcDataLocation(const qzcDataLocation& other);
  qzcDataLocation& operator=(const qzcDataLocation& other);
  ~qzcDataLocation() override;

  int GetMode() const { return mode_; }
  ULONG GetSize() const { return size_; }
  // The element count; the data are not touched.
  void SetSize(ULONG size) { size_ = size; }
  bool IsOwned() const { return mode_ == memory && owned_; }

  // File mode only (otherwise reported, and an empty/0 result).
  const qzcFileName& GetFileName() const;
  ULONG GetFileOffset() const;
  long GetFileBFlags() const;

  // Loads file data first; null when the data are not in memory.
  T* GetMemoryLocation();
  // A new owned block of GetSize() elements.
  bool AllocateMemory();
  // Someone else's block, not owned.
  void SetMemoryLocation(T* block);
  // Releases what is held; back to undefined.
  void Clear();

  void SwitchToFileMode(const qzcFileName& name, ULONG offset, ULONG bflags);

  // Moves the start of the data n elements forward.
  qzcDataLocation& AddOffset(const ULONG n);

  // Reads the elements from the file into an owned block, in host order.
  bool LoadData();

  std::ostream& Print(std::ostream& os) const override;
  // Byte length (32 bits) then the data; odd byte data are padded with a
  // NUL under pad_null.
  ofbstream& Write(ofbstream& ofs) const override;
  // The elements only.
  ofbstream& WriteData(ofbstream& ofs) const;

  bool operator==(const qzcDataLocation& other) const;
  bool operator!=(const qzcDataLocation& other) const { return !(*this == other); }

 private:
  // Drops the memory block (freeing it when owned) and the file fields.
  void Release();
  // True in file mode; otherwise reports under signature.
  bool IsInFile(const char* signature) const;
  // Fails the stream and reports when there is nothing to write from.
  bool FailIfNotWritable(ofbstream& ofs, const char* signature) const;

  int mode_ = undefined;
  ULONG size_ = 0;
  qzcFileName fileName_;
  ULONG fileOffset_ = 0;
  ULONG fileBFlags_ = iobs::default_bflags;
  T* memory_ = nullptr;
  bool owned_ = false;
};

extern template class qzcDataLocation<UBYTE>;
extern template class qzcDataLocation<UWORD>;
extern template class qzcDataLocation<ULONG>;

#endif
