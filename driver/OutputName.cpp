// Output file naming: each field of a --rename pattern adds a piece to the
// name, pieces joined by "-".
#include "driver/OutputName.h"

#include "dicom/qzmDicomDataElementSet.h"
#include "driver/TagKeyword.h"
#include "lib/qzcFileName.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace {

typedef qzmDicomDataElementDescription Description;

// Value texts taken from the set are cut at this length.
const std::size_t MaximumValueText = 1000;

const qzmDicomDataElementValue* FindValue(const qzmDicomDataElementSet& set, UWORD group, UWORD element) {
  const auto found = set.find(qzmDicomDataElementTag(group, element));
  return found == set.end() ? nullptr : &found->second;
}

// The value's text form, as it prints itself, with every "/" made "_" so
// that no piece taken from a file can name another directory.
qzcString ValueText(const qzmDicomDataElementValue& value) {
  std::ostringstream text;
  value.Print(text);
  qzcString result = text.str().substr(0, MaximumValueText);
  for (char& c : result)
    if (c == '/')
      c = '_';
  return result;
}

// A number held as text (IS) or as a binary number (US).
long ValueNumber(const qzmDicomDataElementValue& value) {
  if (qzmDicomDataElementValue::IsStringVR(value.GetVR()))
    return std::strtol(value.IS().c_str(), nullptr, 10);
  return value.US(0);
}

qzcString Format(const char* format, unsigned long number) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, format, number);
  return buffer;
}

qzcString DateText(const qzmDicomDataElementValue& value) {
  if (value.GetVR() != Description::DA)
    return qzcString();
  const auto& date = value.DA();
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%02u.%02u.%02d", unsigned(date.day), unsigned(date.month),
                int(date.year) - 1900);
  return buffer;
}

qzcString TimeText(const qzmDicomDataElementValue& value) {
  if (value.GetVR() != Description::TM)
    return qzcString();
  const auto& time = value.TM();
  char buffer[48];
  if (time.fraction == 0)
    std::snprintf(buffer, sizeof buffer, "%02u.%02u.%02u", unsigned(time.hour), unsigned(time.minute),
                  unsigned(time.second));
  else
    std::snprintf(buffer, sizeof buffer, "%02u.%02u.%02u.%06lu", unsigned(time.hour), unsigned(time.minute),
                  unsigned(time.second), static_cast<unsigned long>(time.fraction));
  return buffer;
}

// Components 1 and 2 of a person name (cut at "/", backslash, "^" and
// blanks), joined by "_".
qzcString PatientNameText(const qzmDicomDataElementValue& value) {
  std::ostringstream text;
  value.Print(text);
  const std::string name = text.str().substr(0, MaximumValueText);
  const char* const separators = "/\\^ ";
  std::string components[2];
  int found = 0;
  for (std::size_t start = name.find_first_not_of(separators); start != std::string::npos && found < 2;
       start = name.find_first_not_of(separators, start)) {
    const std::size_t end = std::min(name.find_first_of(separators, start), name.size());
    components[found++] = name.substr(start, end - start);
    start = end;
  }
  return found < 2 ? components[0] : components[0] + "_" + components[1];
}

qzcString ShortPhotometric(const qzcString& text) {
  if (text == "MONOCHROME2")
    return "MONO2";
  if (text == "MONOCHROME1")
    return "MONO1";
  if (text == "PALETTE COLOR")
    return "PAL";
  return text;
}

// Collects the pieces of one name.
class NameBuilder {
 public:
  // A piece preceded by "-" unless it is the first; empty adds nothing.
  void Add(const qzcString& piece) {
    if (piece.empty())
      return;
    if (!name_.empty())
      name_ += '-';
    name_ += piece;
  }
  // A piece that is added even when empty (and so still brings its "-").
  void AddAlways(const qzcString& piece) {
    if (!name_.empty())
      name_ += '-';
    name_ += piece;
  }
  // A piece glued to the name without a separator.
  void Glue(const qzcString& piece) { name_ += piece; }
  // Text fields are left out when empty or when they begin with a blank.
  void AddText(const qzcString& text) {
    if (!text.empty() && text[0] != ' ')
      Add(text);
  }
  const qzcString& Name() const { return name_; }

 private:
  qzcString name_;
};

// The fields that name a data element, with the way they are formatted.
enum class FieldFormat { Text, Number, ShortPhotometric, Date, Time, NumberText, Number4 };

struct ElementField {
  const char* field;
  UWORD group;
  UWORD element;
  FieldFormat format;
  const char* prefix;
};

const ElementField ElementFields[] = {
    {"modal", 0x0008, 0x0060, FieldFormat::Text, ""},
    {"photo_i", 0x0028, 0x0004, FieldFormat::Text, ""},
    {"photo_is", 0x0028, 0x0004, FieldFormat::ShortPhotometric, ""},
    {"nb_fr", 0x0028, 0x0008, FieldFormat::Text, ""},
    {"sam_pp", 0x0028, 0x0002, FieldFormat::Number, ""},
    {"rows", 0x0028, 0x0010, FieldFormat::Number, ""},
    {"cols", 0x0028, 0x0011, FieldFormat::Number, ""},
    {"bits_a", 0x0028, 0x0100, FieldFormat::Number, ""},
    {"bits_s", 0x0028, 0x0101, FieldFormat::Number, ""},
    {"high_b", 0x0028, 0x0102, FieldFormat::Number, ""},
    {"pix_r", 0x0028, 0x0103, FieldFormat::Number, ""},
    {"stu_da", 0x0008, 0x0020, FieldFormat::Date, "u"},
    {"stu_tm", 0x0008, 0x0030, FieldFormat::Time, "u"},
    {"stu_des", 0x0008, 0x1030, FieldFormat::Text, ""},
    {"ser_da", 0x0008, 0x0021, FieldFormat::Date, "s"},
    {"ser_tm", 0x0008, 0x0031, FieldFormat::Time, "s"},
    {"ser_nb", 0x0020, 0x0011, FieldFormat::NumberText, "s"},
    {"ser_nb0", 0x0020, 0x0011, FieldFormat::Number4, "s"},
    {"acq_da", 0x0008, 0x0022, FieldFormat::Date, "a"},
    {"acq_tm", 0x0008, 0x0032, FieldFormat::Time, "a"},
    {"acq_nb", 0x0020, 0x0012, FieldFormat::NumberText, "a"},
    {"acq_nb0", 0x0020, 0x0012, FieldFormat::Number4, "a"},
    {"img_da", 0x0008, 0x0023, FieldFormat::Date, "i"},
    {"img_tm", 0x0008, 0x0033, FieldFormat::Time, "i"},
    {"img_nb", 0x0020, 0x0013, FieldFormat::NumberText, "i"},
    {"img_nb0", 0x0020, 0x0013, FieldFormat::Number4, "i"},
};

void AddElementField(NameBuilder& name, const ElementField& field, const qzmDicomDataElementValue& value) {
  switch (field.format) {
    case FieldFormat::Text:
      name.AddText(ValueText(value));
      break;
    case FieldFormat::ShortPhotometric:
      name.AddText(ShortPhotometric(ValueText(value)));
      break;
    case FieldFormat::Number:
      name.Add(Format("%lu", value.US(0)));
      break;
    case FieldFormat::Date:
      name.Add(field.prefix + DateText(value));
      break;
    case FieldFormat::Time:
      name.Add(field.prefix + TimeText(value));
      break;
    case FieldFormat::NumberText:
      name.Add(field.prefix + ValueText(value));
      break;
    case FieldFormat::Number4:
      // "%04u" of the number: a negative one shows as its 32-bit unsigned
      // form, as in the names this field has always given.
      name.Add(field.prefix + Format("%04lu", static_cast<unsigned>(ValueNumber(value))));
      break;
  }
}

// The fields that do not read the set; true when field was one of them.
bool AddRunField(NameBuilder& name, const qzcString& field, const UWORD rank, const UWORD count,
                 const qzcFileName& input, const UWORD frame, const UWORD frames) {
  const bool framed = frame != 0 && frames > 1;
  if (field == "cur_nm")
    name.Add(input);
  else if (field == "cur_we")
    name.Add(input.GetNameWithoutExtension());
  else if (field == "cur_ext")
    name.Glue(input.GetExtension());
  else if (field == "cur_rk")
    name.Add(Format("%lu", rank));
  else if (field == "cur_rk0")
    name.Add(Format("%04lu", rank));
  else if (field == "cur_cn")
    name.Add(Format("%lu", count));
  else if (field == "cur_cn0")
    name.Add(Format("%04lu", count));
  else if (field == "cur_fr")
    name.Add(framed ? Format("%lu", frame) : qzcString());
  else if (field == "cur_fr0")
    name.Add(framed ? Format("%03lu", frame) : qzcString());
  else
    return false;
  return true;
}

// Fields naming the set's content; true when field was one of them.
bool AddSetField(NameBuilder& name, const qzcString& field, const qzmDicomDataElementSet& set) {
  if (field == "pat_nm") {
    if (const qzmDicomDataElementValue* value = FindValue(set, 0x0010, 0x0010))
      name.Add(PatientNameText(*value));
    return true;
  }
  for (const ElementField& known : ElementFields)
    if (field == known.field) {
      if (const qzmDicomDataElementValue* value = FindValue(set, known.group, known.element))
        AddElementField(name, known, *value);
      return true;
    }
  qzmDicomDataElementTag tag;
  if (!ParseTagKeyword(field, tag))
    return false;
  if (const qzmDicomDataElementValue* value = FindValue(set, tag.group, tag.element))
    name.AddAlways(ValueText(*value));
  return true;
}

}  // namespace

UWORD NumberOfFrames(const qzmDicomDataElementSet& set) {
  const qzmDicomDataElementValue* value = FindValue(set, 0x0028, 0x0008);
  return value ? static_cast<UWORD>(ValueNumber(*value)) : 1;
}

qzcString BuildOutputName(const qzcString& pattern, const qzmDicomDataElementSet& set, const UWORD rank,
                          const UWORD count, const qzcString& inputName, const UWORD frame) {
  const UWORD frames = NumberOfFrames(set);
  qzcString fields = pattern;
  if (fields.empty())
    fields = frames < 2 || frame == 0 ? "cur_nm" : "cur_nm:cur_fr0";

  const qzcFileName input(inputName);
  NameBuilder name;
  const unsigned fieldCount = fields.CountFields();
  for (unsigned n = 1; n <= fieldCount; ++n) {
    const qzcString field = fields.GetField(n);
    if (field == "ren_o" || AddRunField(name, field, rank, count, input, frame, frames) ||
        AddSetField(name, field, set))
      continue;
    if (!field.empty() && field[0] == '.')
      name.Glue(field);
    else
      name.Add(field);
  }
  return name.Name();
}
