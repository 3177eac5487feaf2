#include "lib/qzcDataLocation.h"

#include "lib/ifbstream.h"
#include "lib/ofbstream.h"
#include "lib/qzcError.h"
#include "lib/qzcWarning.h"

#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>

namespace {

const qzcFileName noFileName;

}  // namespace

template <typename T>
qzcDataLocation<T>::qzcDataLocation(const qzcDataLocation& other) : qzcObject(other) {
  *this = other;
}

template <typename T>
qzcDataLocation<T>& qzcDataLocation<T>::operator=(const qzcDataLocation& other) {
  if (this == &other) {
    return *this;
  }
  Release();
  mode_ = other.mode_;
  size_ = other.size_;
  if (mode_ == file) {
    fileName_ = other.fileName_;
    fileOffset_ = other.fileOffset_;
    fileBFlags_ = other.fileBFlags_;
  } else if (mode_ == memory) {
    // The copy shares the block; its owner keeps it alive.
    memory_ = other.memory_;
  }
  return *this;
}

template <typename T>
qzcDataLocation<T>::~qzcDataLocation() {
  Release();
}

template <typename T>
void qzcDataLocation<T>::Release() {
  if (owned_) {
    delete[] memory_;
  }
  memory_ = nullptr;
  owned_ = false;
  fileName_.clear();
  fileOffset_ = 0;
  fileBFlags_ = iobs::default_bflags;
}

template <typename T>
void qzcDataLocation<T>::Clear() {
  Release();
  mode_ = undefined;
  size_ = 0;
}

template <typename T>
bool qzcDataLocation<T>::IsInFile(const char* signature) const {
  if (mode_ == file)
    return true;
  qzcError(signature, "data location is not in a file!").Report();
  return false;
}

template <typename T>
const qzcFileName& qzcDataLocation<T>::GetFileName() const {
  return IsInFile("const qzcFileName& qzcDataLocation<T>::GetFileName() const") ? fileName_ : noFileName;
}

template <typename T>
ULONG qzcDataLocation<T>::GetFileOffset() const {
  return IsInFile("ULONG qzcDataLocation<T>::GetFileOffset() const") ? fileOffset_ : 0;
}

template <typename T>
long qzcDataLocation<T>::GetFileBFlags() const {
  return IsInFile("long qzcDataLocation<T>::GetFileBFlags() const") ? static_cast<long>(fileBFlags_) : 0;
}

template <typename T>
T* qzcDataLocation<T>::GetMemoryLocation() {
  static const char* const signature = "T* qzcDataLocation<T>::GetMemoryLocation()";
  if (mode_ == file && !LoadData()) {
    qzcError(signature, "unable to automatically load data to memory!").Report();
  }
  if (mode_ != memory) {
    qzcError(signature, "location is not in memory!").Report();
    return nullptr;
  }
  return memory_;
}

template <typename T>
bool qzcDataLocation<T>::AllocateMemory() {
  T* block = new (std::nothrow) T[size_];
  if (block == nullptr) {
    qzcError("bool qzcDataLocation<T>::AllocateMemory()", "unable to allocate memory for %lu data!",
             static_cast<unsigned long>(size_))
        .Report();
    return false;
  }
  Release();
  mode_ = memory;
  memory_ = block;
  owned_ = true;
  return true;
}

template <typename T>
void qzcDataLocation<T>::SetMemoryLocation(T* block) {
  Release();
  mode_ = memory;
  memory_ = block;
}

template <typename T>
void qzcDataLocation<T>::SwitchToFileMode(const qzcFileName& name, ULONG offset, ULONG bflags) {
  if (mode_ != file) {
    Release();
    mode_ = file;
  }
  fileName_ = name;
  fileOffset_ = offset;
  fileBFlags_ = bflags;
}

template <typename T>
qzcDataLocation<T>& qzcDataLocation<T>::AddOffset(const ULONG n) {
  static const char* const signature = "qzcDataLocation<T>& qzcDataLocation<T>::AddOffset( const ULONG )";
  if (mode_ == file) {
    fileOffset_ += n * static_cast<ULONG>(sizeof(T));
  } else if (mode_ == memory) {
    if (owned_) {
      qzcWarning(signature, "adding offset will remove the current memory ownership!").Report();
    }
    // The block is not released: whoever was given it keeps it alive.
    memory_ += n;
    owned_ = false;
  } else {
    qzcError(signature, "unable to add offset to an undefined type of data location!").Report();
  }
  return *this;
}

template <typename T>
bool qzcDataLocation<T>::LoadData() {
  static const char* const signature = "bool qzcDataLocation<T>::LoadData()";
  if (mode_ != file) {
    qzcError(signature, "trying to load data but location mode is not file!").Report();
    return false;
  }
  ifbstream ifs(fileName_.c_str(), std::ios::in);
  ifs.seekg(fileOffset_);
  if (ifs.fail()) {
    qzcError(signature, "unable to find data in file %s at offset %lu!", fileName_.c_str(),
             static_cast<unsigned long>(fileOffset_))
        .Report();
    return false;
  }
  ifs.SetBFlags(fileBFlags_);
  // Allocate only what the file can supply: the size may come from a
  // damaged or hostile file.
  const std::uint64_t bytes = static_cast<std::uint64_t>(size_) * sizeof(T);
  if (ifs.BytesLeft() < bytes) {
    qzcError(signature, "while reading %lu objects from file %s!", static_cast<unsigned long>(size_), fileName_.c_str())
        .Report();
    return false;
  }
  std::unique_ptr<T[]> block(new (std::nothrow) T[size_]);
  if (!block) {
    qzcError(signature, "unable to allocate memory for %lu data!", static_cast<unsigned long>(size_)).Report();
    return false;
  }
  ifs.ReadArray(block.get(), size_);
  if (ifs.fail() || static_cast<std::uint64_t>(ifs.gcount()) != bytes) {
    qzcError(signature, "while reading %lu objects from file %s!", static_cast<unsigned long>(size_), fileName_.c_str())
        .Report();
    return false;
  }
  Release();
  mode_ = memory;
  memory_ = block.release();
  owned_ = true;
  return true;
}

template <typename T>
std::ostream& qzcDataLocation<T>::Print(std::ostream& os) const {
  const std::ios::fmtflags savedFlags = os.flags();
  switch (mode_) {
    case memory:
      os << std::dec << size_ << " * " << sizeof(T) << " bytes in" << (owned_ ? " allocated" : "") << " memory at 0x"
         << std::hex << reinterpret_cast<std::uintptr_t>(memory_);
      break;
    case file:
      os << std::dec << size_ << " * " << sizeof(T) << " bytes at offset " << fileOffset_ << " (0x" << std::hex
         << fileOffset_ << ") in " << fileName_ << " using bflags 0x" << fileBFlags_ << " (has " << iobs(fileBFlags_)
         << ")";
      break;
    case undefined:
      os << "UNDEFINED";
      break;
    default:
      os << "UNKNOWN MODE";
      break;
  }
  os.flags(savedFlags);
  return os;
}

template <typename T>
bool qzcDataLocation<T>::FailIfNotWritable(ofbstream& ofs, const char* signature) const {
  if (mode_ == file || mode_ == memory) {
    return false;
  }
  ofs.setstate(std::ios::failbit);
  qzcError(signature, mode_ == undefined ? "can not send UNDEFINED instance to binary file stream!"
                                         : "can not send UNKNOWN instance to binary file stream!")
      .Report();
  return true;
}

template <typename T>
ofbstream& qzcDataLocation<T>::Write(ofbstream& ofs) const {
  static const char* const signature = "ofbstream& qzcDataLocation<T>::Write( ofbstream& ) const";
  if (FailIfNotWritable(ofs, signature)) {
    return ofs;
  }
  ULONG length = size_ * static_cast<ULONG>(sizeof(T));
  // DICOM values have even length.
  const bool padded = std::is_same<T, UBYTE>::value && ofs.HasBFlags(iobs::pad_null_bit) && length % 2 == 1;
  if (padded) {
    ++length;
  }
  ofs << length;
  WriteData(ofs);
  if (padded) {
    ofs << UBYTE(0);
  }
  if (ofs.fail()) {
    qzcError(signature, "while sending instance to binary file stream!").Report();
  }
  return ofs;
}

template <typename T>
ofbstream& qzcDataLocation<T>::WriteData(ofbstream& ofs) const {
  if (FailIfNotWritable(ofs, "ofbstream& qzcDataLocation<T>::WriteData( ofbstream& ) const") || size_ == 0) {
    return ofs;
  }
  // A file location is loaded into a copy of its own, so that writing
  // leaves this location as it was.
  qzcDataLocation loaded(*this);
  const T* data = loaded.GetMemoryLocation();
  if (data == nullptr) {
    ofs.setstate(std::ios::failbit);
    return ofs;
  }
  return ofs.WriteArray(data, size_);
}

template <typename T>
bool qzcDataLocation<T>::operator==(const qzcDataLocation& other) const {
  if (mode_ != other.mode_) {
    return false;
  }
  switch (mode_) {
    case file:
      return size_ == other.size_ && fileName_ == other.fileName_ && fileOffset_ == other.fileOffset_ &&
             fileBFlags_ == other.fileBFlags_;
    case memory:
      return size_ == other.size_ && memory_ == other.memory_ && owned_ == other.owned_;
    default:
      return true;
  }
}

template class qzcDataLocation<UBYTE>;
template class qzcDataLocation<UWORD>;
template class qzcDataLocation<ULONG>;
