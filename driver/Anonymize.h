// Anonymisation of a data set (--anon).
#ifndef MEDCONV_ANONYMIZE_H
#define MEDCONV_ANONYMIZE_H

#include "lib/qzcString.h"
#include "lib/qzcTypes.h"

class qzmDicomDataElementSet;
class qzmDicomDataElementTagSet;

// Bits of the anonymisation flag word, one per --anon keyword.
enum AnonymizeBits : UWORD {
  AnonReplacePersonNames = 0x01,  // pn_rp
  AnonRemovePersonNames = 0x02,   // pn_rm
  AnonRemoveSelected = 0x04,      // rm_sel
  AnonRemoveGroup10 = 0x08,       // rm_10
  AnonRemovePrivate = 0x10,       // rm_priv
  AnonRemoveOverlays = 0x20,      // rm_ov
  AnonRemoveCurves = 0x40,        // rm_cu
  AnonRemoveComments = 0x80,      // rm_co
  AnonRemoveAll = 0xFC            // rm_all
};

// Parses the value of --anon (empty: "pn_rp:rm_all") into a flag word and a
// tag set. On a wrong keyword returns false with that keyword in badKeyword;
// the caller reports it.
bool ParseAnonymizeRequest(const qzcString& value, UWORD& flags, qzmDicomDataElementTagSet& tags,
                           qzcString& badKeyword);

// Applies the request to the set and to the items of its sequences, at
// every depth, in place; returns true.
bool anonymize_set(qzmDicomDataElementSet& set, const UWORD flags, const qzmDicomDataElementTagSet& tags);

#endif
