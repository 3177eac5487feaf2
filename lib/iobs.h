// The policy word of the binary file streams: byte order, string padding,
// trimming and length size, and the DICOM syntax marks, with the
// manipulators that change it.
#ifndef QZC_IOBS_H
#define QZC_IOBS_H

#include "lib/qzcTypes.h"

#include <ostream>

class iobs {
 public:
  // Bits of the policy word; within a group at most one value is set.
  static constexpr ULONG little_endian_bit = 0x0001;
  static constexpr ULONG big_endian_bit = 0x0002;
  static constexpr ULONG byte_order_bits = 0x0003;
  static constexpr ULONG pad_spc_bit = 0x0010;
  static constexpr ULONG pad_null_bit = 0x0020;
  static constexpr ULONG padding_bits = 0x0030;
  static constexpr ULONG str_rmv_ls_bit = 0x0040;
  static constexpr ULONG str_rmv_ts_bit = 0x0080;
  static constexpr ULONG trimming_bits = 0x00C0;
  static constexpr ULONG str_size_2_bit = 0x0100;
  static constexpr ULONG str_size_4_bit = 0x0200;
  static constexpr ULONG str_size_bits = 0x0300;
  static constexpr ULONG implicit_hint = 0x0400;
  static constexpr ULONG explicit_hint = 0x0800;
  static constexpr ULONG encapsulated_hint = 0x1000;
  static constexpr ULONG native_hint = 0x2000;
  // Byte order, VR hint and syntax kind: what a transfer syntax decides.
  static constexpr ULONG syntax_bits = 0x3C03;
  // Little endian with 2-byte string lengths.
  static constexpr ULONG default_bflags = 0x0101;

  explicit iobs(ULONG bflags = default_bflags) : bflags_(bflags) {}

  ULONG GetBFlags() const { return bflags_; }
  // Replaces the whole word; returns the previous one so it can be put back.
  ULONG SetBFlags(ULONG bflags);
  // Sets or clears the given bits, leaving the others.
  void AddBFlags(ULONG bits) { bflags_ |= bits; }
  void RemoveBFlags(ULONG bits) { bflags_ &= ~bits; }
  // True when every one of the given bits is set.
  bool HasBFlags(ULONG bits) const { return (bflags_ & bits) == bits; }

  bool IsLittleEndian() const { return HasBFlags(little_endian_bit); }
  bool IsBigEndian() const { return HasBFlags(big_endian_bit); }

 private:
  ULONG bflags_;
};

// Manipulators, applied with << on an ofbstream, >> on an ifbstream, or
// called on any iobs.
typedef iobs& (*iobsManipulator)(iobs&);

iobs& little_endian(iobs& s);
iobs& big_endian(iobs& s);
iobs& pad_none(iobs& s);
iobs& pad_spc(iobs& s);
iobs& pad_null(iobs& s);
iobs& str_rmv_none(iobs& s);
iobs& str_rmv_lts(iobs& s);
iobs& str_size_2(iobs& s);
iobs& str_size_4(iobs& s);

// The transfer syntaxes chosen on the command line: byte order, VR hint and
// the native mark together.
iobs& implicit_little_endian(iobs& s);
iobs& implicit_big_endian(iobs& s);
iobs& explicit_little_endian(iobs& s);
iobs& explicit_big_endian(iobs& s);

// The names of the bits set, e.g. "|little endian|str_size_2|" for 0x0101.
std::ostream& operator<<(std::ostream& os, const iobs& policy);

#endif
