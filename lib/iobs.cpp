#include "lib/iobs.h"

ULONG iobs::SetBFlags(ULONG bflags) {
  const ULONG previous = bflags_;
  bflags_ = bflags;
  return previous;
}

namespace {

iobs& Replace(iobs& s, ULONG group, ULONG value) {
  s.RemoveBFlags(group);
  s.AddBFlags(value);
  return s;
}

}  // namespace

iobs& little_endian(iobs& s) {
  return Replace(s, iobs::byte_order_bits, iobs::little_endian_bit);
}
iobs& big_endian(iobs& s) {
  return Replace(s, iobs::byte_order_bits, iobs::big_endian_bit);
}
iobs& pad_none(iobs& s) {
  return Replace(s, iobs::padding_bits, 0);
}
iobs& pad_spc(iobs& s) {
  return Replace(s, iobs::padding_bits, iobs::pad_spc_bit);
}
iobs& pad_null(iobs& s) {
  return Replace(s, iobs::padding_bits, iobs::pad_null_bit);
}
iobs& str_rmv_none(iobs& s) {
  return Replace(s, iobs::trimming_bits, 0);
}
iobs& str_rmv_lts(iobs& s) {
  return Replace(s, iobs::trimming_bits, iobs::trimming_bits);
}
iobs& str_size_2(iobs& s) {
  return Replace(s, iobs::str_size_bits, iobs::str_size_2_bit);
}
iobs& str_size_4(iobs& s) {
  return Replace(s, iobs::str_size_bits, iobs::str_size_4_bit);
}

iobs& implicit_little_endian(iobs& s) {
  return Replace(s, iobs::syntax_bits, iobs::implicit_hint | iobs::native_hint | iobs::little_endian_bit);
}

iobs& implicit_big_endian(iobs& s) {
  return Replace(s, iobs::syntax_bits, iobs::implicit_hint | iobs::native_hint | iobs::big_endian_bit);
}

iobs& explicit_little_endian(iobs& s) {
  return Replace(s, iobs::syntax_bits, iobs::explicit_hint | iobs::native_hint | iobs::little_endian_bit);
}

iobs& explicit_big_endian(iobs& s) {
  return Replace(s, iobs::syntax_bits, iobs::explicit_hint | iobs::native_hint | iobs::big_endian_bit);
}

std::ostream& operator<<(std::ostream& os, const iobs& policy) {
  // In the order of the bit table; the syntax kind bits have no name.
  static const struct {
    ULONG bits;
    const char* name;
  } names[] = {
      {iobs::little_endian_bit, "little endian"},
      {iobs::big_endian_bit, "big endian"},
      {iobs::pad_spc_bit, "pad_spc"},
      {iobs::pad_null_bit, "pad_null"},
      {iobs::str_rmv_ls_bit, "str_rmv_ls"},
      {iobs::str_rmv_ts_bit, "str_rmv_ts"},
      {iobs::trimming_bits, "str_rmv_lts"},
      {iobs::str_size_2_bit, "str_size_2"},
      {iobs::str_size_4_bit, "str_size_4"},
      {iobs::implicit_hint, "implicit_hint"},
      {iobs::explicit_hint, "explicit_hint"},
  };
  os << '|';
  for (const auto& entry : names) {
    if (policy.HasBFlags(entry.bits)) {
      os << entry.name << '|';
    }
  }
  return os;
}
