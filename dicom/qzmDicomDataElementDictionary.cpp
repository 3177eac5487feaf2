// The data dictionary: text and binary forms, loading and saving by file
// name, the automatic search of the default dictionaries and the rebuilding
// of the binary repository.
#include "dicom/qzmDicomDataElementDictionary.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <istream>
#include <limits>
#include <ostream>
#include <utility>

#include "dicom/BuiltInDictionary.h"
#include "lib/ifbstream.h"
#include "lib/ofbstream.h"
#include "lib/qzcError.h"
#include "lib/qzcFileName.h"
#include "lib/qzcFileNameList.h"
#include "lib/qzcWarning.h"

typedef qzmDicomDataElementDictionary Dictionary;

namespace {

// Extensions of the text form; any other name is a binary repository.
const char* const textExtensions = "dic|DIC|dip|DIP|txt|TXT";
// Tried in this order by AutoLoad.
const char* const defaultDictionaries = "dicom.din|dicom.dic";

bool IsTextForm(const qzcFileName& name) {
  return qzcString(textExtensions).FindField(name.GetExtension(), "|") != 0;
}

bool Exists(const qzcFileName& name) {
  struct stat status;
  return ::stat(name.c_str(), &status) == 0;
}

bool ModificationTime(const qzcFileName& name, struct timespec& time) {
  struct stat status;
  if (::stat(name.c_str(), &status) != 0)
    return false;
  time = status.st_mtim;
  return true;
}

bool IsLater(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec > b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec > b.tv_nsec);
}

// The repository's layout: little endian, 2-byte string lengths, strings
// neither padded nor trimmed.
void SetRepositoryPolicy(iobs& stream) {
  little_endian(stream);
  pad_none(stream);
  str_rmv_none(stream);
  str_size_2(stream);
}

// Where a failed binary read stopped, for the messages.
unsigned long FailedPosition(ifbstream& ifs) {
  const std::ios::iostate state = ifs.rdstate();
  ifs.clear();
  const std::streamoff position = ifs.tellg();
  ifs.setstate(state);
  return static_cast<unsigned long>(position);
}

// Opens a text output file, creating it with the permissions 0664.
bool OpenTextOutput(const qzcFileName& name, std::ofstream& out) {
  const int descriptor = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0664);
  if (descriptor < 0)
    return false;
  ::close(descriptor);
  out.open(name.c_str(), std::ios::out | std::ios::trunc);
  return out.is_open();
}

}  // namespace

std::ostream& Dictionary::Print(std::ostream& os) const {
  for (const_iterator entry = begin(); entry != end() && os; ++entry) {
    os << "  " << entry->first << ' ';
    entry->second.Print(os) << '\n';
  }
  if (os.fail())
    qzcError("ostream& qzmDicomDataElementDictionary::Print( ostream& ) const", "while sending instance to ostream!")
        .Report();
  return os;
}

std::istream& Dictionary::Parse(std::istream& is) {
  static const char* const signature = "istream& qzmDicomDataElementDictionary::Parse( istream& )";
  while (is >> std::ws && !is.eof()) {
    if (is.peek() == '#') {
      is.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
      continue;
    }
    qzmDicomDataElementTag tag;
    if (!(is >> tag)) {
      qzcError(signature, "while parsing data element tag from stream!").Report();
      break;
    }
    qzmDicomDataElementDescription description;
    if (!description.Parse(is)) {
      qzcError(signature, "while parsing description of element (%04hX,%04hX) from stream!", tag.group, tag.element)
          .Report();
      break;
    }
    if (description.vr != qzmDicomDataElementDescription::UNDEFINED) {
      // Later lines, and later files, win.
      insert_or_assign(tag, description);
      continue;
    }
    // A "RET" line retires an entry defined earlier.
    iterator entry = find(tag);
    if (entry == end()) {
      is.setstate(std::ios::failbit);
      qzcError(signature, "trying to put an undefined element (%04hX,%04hX) in the dictionary!", tag.group, tag.element)
          .Report();
      break;
    }
    entry->second.retired = true;
  }
  if (is.fail())
    qzcError(signature, "while parsing instance from stream!").Report();
  return is;
}

ofbstream& Dictionary::Write(ofbstream& ofs) const {
  static const char* const signature = "ofbstream& qzmDicomDataElementDictionary::Write( ofbstream& ) const";
  // The count and the label length are 16-bit: refuse what they cannot hold
  // rather than write a repository that reads back out of step.
  if (size() > 0xFFFF || (ofs.HasBFlags(iobs::str_size_2_bit) && label.size() > 0xFFFF)) {
    ofs.setstate(std::ios::failbit);
    qzcError(signature, "%lu entries or a label of %lu characters do not fit the binary form!",
             static_cast<unsigned long>(size()), static_cast<unsigned long>(label.size()))
        .Report();
  } else {
    ofs << static_cast<const std::string&>(label) << static_cast<UWORD>(size());
    for (const_iterator entry = begin(); entry != end() && ofs; ++entry) {
      ofs << entry->first;
      entry->second.Write(ofs);
    }
  }
  if (ofs.fail())
    qzcError(signature, "while sending instance to binary file stream!").Report();
  return ofs;
}

ifbstream& Dictionary::Read(ifbstream& ifs) {
  static const char* const signature = "ifbstream& qzmDicomDataElementDictionary::Read( ifbstream& )";
  qzcString newLabel;
  UWORD count = 0;
  // The stream refuses a length longer than what remains of the file.
  if (ifs >> newLabel)
    ifs >> count;
  if (ifs)
    label = newLabel;
  for (UWORD n = 0; n < count && ifs; ++n) {
    qzmDicomDataElementTag tag;
    if (!(ifs >> tag)) {
      qzcError(signature, "while reading data element tag! (0x%lx)", FailedPosition(ifs)).Report();
      break;
    }
    qzmDicomDataElementDescription description;
    if (!description.Read(ifs)) {
      qzcError(signature, "while reading description of element (%04hX,%04hX)! (0x%lx)", tag.group, tag.element,
               FailedPosition(ifs))
          .Report();
      break;
    }
    // The entries come in tag order: inserting at the end is the usual case.
    insert_or_assign(end(), tag, std::move(description));
  }
  if (ifs.fail())
    qzcError(signature, "while getting instance from binary file stream!").Report();
  return ifs;
}

bool Dictionary::Save(const qzcFileName& name) const {
  static const char* const signature = "bool qzmDicomDataElementDictionary::Save( const qzcFileName& ) const";
  if (IsTextForm(name)) {
    std::ofstream out;
    if (!OpenTextOutput(name, out)) {
      qzcError(signature, "while opening file %s!", name.c_str()).Report();
      return false;
    }
    if (!Print(out).flush()) {
      qzcError(signature, "while printing instance to %s!", name.c_str()).Report();
      return false;
    }
    return true;
  }
  ofbstream ofs(name.c_str(), std::ios::out | std::ios::binary | std::ios::trunc);
  if (!ofs) {
    qzcError(signature, "while opening file %s!", name.c_str()).Report();
    return false;
  }
  SetRepositoryPolicy(ofs);
  if (!Write(ofs).flush()) {
    qzcError(signature, "while writting instance to %s!", name.c_str()).Report();
    return false;
  }
  return true;
}

bool Dictionary::Load(const qzcFileName& name) {
  static const char* const signature = "bool qzmDicomDataElementDictionary::Load( const qzcFileName& )";
  qzcFileName path = name;
  if (!Exists(path)) {
    path = FindInLibraryDirectories(name, "dicom");
    if (path.empty()) {
      qzcError(signature, "file to load was not found in any default library directories: %s!", name.c_str()).Report();
      return false;
    }
  }
  if (IsTextForm(path)) {
    std::ifstream in(path.c_str());
    if (!in) {
      qzcError(signature, "while opening file %s!", path.c_str()).Report();
      return false;
    }
    if (!Parse(in)) {
      qzcError(signature, "while parsing instance from %s!", path.c_str()).Report();
      return false;
    }
    source = path;
    return true;
  }
  ifbstream ifs(path.c_str(), std::ios::in | std::ios::binary);
  if (!ifs) {
    qzcError(signature, "while opening file %s!", path.c_str()).Report();
    return false;
  }
  SetRepositoryPolicy(ifs);
  if (!Read(ifs)) {
    qzcError(signature, "while reading instance from %s!", path.c_str()).Report();
    return false;
  }
  source = path;
  return true;
}

bool Dictionary::Load(const qzcFileNameList& names) {
  static const char* const signature = "bool qzmDicomDataElementDictionary::Load( const qzcFileNameList& )";
  if (names.empty()) {
    qzcError(signature, "list of files to load is empty!").Report();
    return false;
  }
  for (const qzcFileName& name : names) {
    if (!Load(name)) {
      qzcError(signature, "while loading instance from one of %d files!", static_cast<int>(names.size())).Report();
      return false;
    }
  }
  return true;
}

bool Dictionary::AutoLoad() {
  // The candidates that are missing are not faults worth showing.
  const bool errorsShown = qzcException::errorChannel.enabled;
  qzcException::errorChannel.enabled = false;
  const qzcString candidates(defaultDictionaries);
  for (unsigned n = 1; n <= candidates.CountFields("|"); ++n) {
    if (Load(qzcFileName(candidates.GetField(n, "|")))) {
      qzcException::errorChannel.enabled = errorsShown;
      return true;
    }
  }
  qzcException::errorChannel.enabled = errorsShown;
  std::istringstream builtIn(std::string(BuiltInDictionaryText, BuiltInDictionaryLength));
  if (Parse(builtIn) && !empty()) {
    source = "built-in";
    return true;
  }
  qzcWarning("bool qzmDicomDataElementDictionary::AutoLoad()",
             "unable to auto-load any of the default DICOM dictionaries !")
      .Report();
  return false;
}

bool Dictionary::BuildDictionary(const qzcFileName& repository, const qzcFileNameList& parts) {
  static const char* const signature =
      "bool qzmDicomDataElementDictionary::BuildDictionary( const qzcFileName&, const qzcFileNameList& )";
  Dictionary fresh;
  if (!fresh.Load(parts)) {
    qzcError(signature, "while loading %d partial dictionaries!", static_cast<int>(parts.size())).Report();
    return false;
  }
  for (const qzcFileName& part : parts)
    fresh.label += (fresh.label.empty() ? "built from " : ", ") + part.GetName();
  if (!fresh.Save(repository)) {
    qzcError(signature, "while saving repository %s!", repository.c_str()).Report();
    return false;
  }
  return true;
}

bool Dictionary::MakeDictionary(const qzcFileName& repository, const qzcFileNameList& parts) {
  static const char* const signature =
      "bool qzmDicomDataElementDictionary::MakeDictionary( const qzcFileName&, const qzcFileNameList& )";
  if (parts.empty()) {
    qzcError(signature, "list of files to check is empty!").Report();
    return false;
  }
  struct timespec repositoryTime;
  if (!ModificationTime(repository, repositoryTime)) {
    if (BuildDictionary(repository, parts))
      return true;
    qzcError(signature, "while building initial repository %s!", repository.c_str()).Report();
    return false;
  }
  for (const qzcFileName& part : parts) {
    struct timespec partTime;
    if (!ModificationTime(part, partTime)) {
      qzcError(signature, "one of the file to check (%s) does not exist!", part.c_str()).Report();
      return false;
    }
    if (IsLater(partTime, repositoryTime)) {
      if (BuildDictionary(repository, parts))
        return true;
      qzcError(signature, "while re-building repository %s!", repository.c_str()).Report();
      return false;
    }
  }
  return true;
}

Dictionary& Dictionary::ProcessWide() {
  static Dictionary dictionary;
  return dictionary;
}
