// Anonymisation: the --anon request and its effect on a data set.
#include "driver/Anonymize.h"

#include "dicom/qzmDicomDataElementDescription.h"
#include "dicom/qzmDicomDataElementSet.h"
#include "dicom/qzmDicomDataElementTagSet.h"
#include "driver/TagKeyword.h"

namespace {

const struct {
  const char* keyword;
  UWORD bits;
} AnonymizeKeywords[] = {
    {"pn_rp", AnonReplacePersonNames}, {"pn_rm", AnonRemovePersonNames}, {"rm_sel", AnonRemoveSelected},
    {"rm_10", AnonRemoveGroup10},      {"rm_priv", AnonRemovePrivate},   {"rm_ov", AnonRemoveOverlays},
    {"rm_cu", AnonRemoveCurves},       {"rm_co", AnonRemoveComments},    {"rm_all", AnonRemoveAll},
};

// The identifying elements that "rm_sel" removes: Study ID, Visit Status ID,
// Admission ID.
const qzmDicomDataElementTagSet& SelectedTags() {
  static const qzmDicomDataElementTagSet selected = {
      qzmDicomDataElementTag(0x0020, 0x0010),
      qzmDicomDataElementTag(0x0038, 0x0008),
      qzmDicomDataElementTag(0x0038, 0x0010),
  };
  return selected;
}

bool AddKeyword(const qzcString& keyword, UWORD& flags, qzmDicomDataElementTagSet& tags) {
  for (const auto& known : AnonymizeKeywords)
    if (keyword == known.keyword) {
      flags |= known.bits;
      return true;
    }
  qzmDicomDataElementTag tag;
  if (!ParseTagKeyword(keyword, tag))
    return false;
  tags.insert(tag);
  return true;
}

// Whether a removal bit of flags targets the element.
bool IsRemoved(const qzmDicomDataElementTag& tag, const bool isPersonName, const UWORD flags) {
  const UWORD group = tag.group;
  return ((flags & AnonRemovePersonNames) && isPersonName) || ((flags & AnonRemoveGroup10) && group == 0x0010) ||
         ((flags & AnonRemovePrivate) && (group & 1)) ||
         ((flags & AnonRemoveOverlays) && group >= 0x6000 && group < 0x7000) ||
         ((flags & AnonRemoveCurves) && group >= 0x5000 && group < 0x6000) ||
         ((flags & AnonRemoveComments) && tag.element == 0x4000);
}

void EraseTags(qzmDicomDataElementSet& set, const qzmDicomDataElementTagSet& tags) {
  for (const qzmDicomDataElementTag& tag : tags)
    set.erase(tag);
}

}  // namespace

bool ParseAnonymizeRequest(const qzcString& value, UWORD& flags, qzmDicomDataElementTagSet& tags,
                           qzcString& badKeyword) {
  flags = 0;
  tags.clear();
  const qzcString request = value.empty() ? qzcString("pn_rp:rm_all") : value;
  const unsigned count = request.CountFields();
  for (unsigned n = 1; n <= count; ++n) {
    const qzcString keyword = request.GetField(n);
    if (!AddKeyword(keyword, flags, tags)) {
      badKeyword = keyword;
      return false;
    }
  }
  return true;
}

bool anonymize_set(qzmDicomDataElementSet& set, const UWORD flags, const qzmDicomDataElementTagSet& tags) {
  for (auto element = set.begin(); element != set.end();) {
    qzmDicomDataElementValue& value = element->second;
    const bool isPersonName = value.GetVR() == qzmDicomDataElementDescription::PN;
    if ((flags & AnonReplacePersonNames) && isPersonName) {
      value.PN() = "Anonymized";
      ++element;
    } else if (IsRemoved(element->first, isPersonName, flags)) {
      element = set.erase(element);
    } else {
      // The same request applies inside every item of a sequence.
      if (value.GetVR() == qzmDicomDataElementDescription::SQ)
        for (const auto& item : value.SQ())
          anonymize_set(*item, flags, tags);
      ++element;
    }
  }
  if (flags & AnonRemoveSelected)
    EraseTags(set, SelectedTags());
  EraseTags(set, tags);
  return true;
}
