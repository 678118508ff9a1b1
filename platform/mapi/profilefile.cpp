#include "profilefile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace pxmapi {

Section* ProfileData::Find(const MAPIUID& uid) {
  for (Section& section : sections)
    if (section.uid == uid) return &section;
  return nullptr;
}
const Section* ProfileData::Find(const MAPIUID& uid) const { return const_cast<ProfileData*>(this)->Find(uid); }

namespace {
constexpr std::string_view kMagic = "pxab-profile 1";
const char kDigits[] = "0123456789abcdef";

bool Storable(ULONG type) {
  switch (type & ~MV_FLAG) {
    case PT_I2:
    case PT_LONG:
    case PT_R4:
    case PT_DOUBLE:
    case PT_CURRENCY:
    case PT_APPTIME:
    case PT_I8:
    case PT_SYSTIME:
    case PT_STRING8:
    case PT_UNICODE:
    case PT_BINARY:
    case PT_CLSID: return true;
    case PT_BOOLEAN:
    case PT_ERROR: return !(type & MV_FLAG);
    default: return false;
  }
}

void PutNumber(std::string& out, std::uint64_t value) {
  char buffer[17];
  int n = 0;
  do {
    buffer[n++] = kDigits[value & 15];
    value >>= 4;
  } while (value);
  out += ' ';
  while (n) out += buffer[--n];
}

void PutBytes(std::string& out, const void* bytes, std::size_t cb) {
  out += ' ';
  out += std::to_string(cb);
  out += ':';
  const auto* p = static_cast<const BYTE*>(bytes);
  for (std::size_t i = 0; i < cb; ++i) {
    out += kDigits[p[i] >> 4];
    out += kDigits[p[i] & 15];
  }
}

std::size_t WideLength(const WCHAR* text) {
  std::size_t n = 0;
  while (text[n]) ++n;
  return n;
}

std::uint64_t Bits(const void* p, std::size_t cb) {
  std::uint64_t value = 0;
  std::memcpy(&value, p, cb);
  return value;
}

// One item of type `type` (not multi-valued) at `p`, the union member the value lives in.
void PutItem(std::string& out, ULONG type, const void* p) {
  switch (type) {
    case PT_I2:
    case PT_BOOLEAN: PutNumber(out, Bits(p, 2)); break;
    case PT_LONG:
    case PT_R4:
    case PT_ERROR: PutNumber(out, Bits(p, 4)); break;
    case PT_STRING8: {
      const char* text = *static_cast<const LPSTR*>(p);
      if (!text) Fail(MAPI_E_BAD_VALUE, "a null string");
      PutBytes(out, text, std::strlen(text));
      break;
    }
    case PT_UNICODE: {
      const WCHAR* text = *static_cast<const LPWSTR*>(p);
      if (!text) Fail(MAPI_E_BAD_VALUE, "a null string");
      PutBytes(out, text, WideLength(text) * sizeof(WCHAR));
      break;
    }
    case PT_BINARY: {
      const auto* bin = static_cast<const SBinary*>(p);
      if (bin->cb && !bin->lpb) Fail(MAPI_E_BAD_VALUE, "a binary without bytes");
      PutBytes(out, bin->lpb, bin->cb);
      break;
    }
    case PT_CLSID: {
      const GUID* guid = *static_cast<GUID* const*>(p);
      if (!guid) Fail(MAPI_E_BAD_VALUE, "a null GUID");
      PutBytes(out, guid, sizeof(GUID));
      break;
    }
    default:  // the 64-bit types
      PutNumber(out, Bits(p, 8));
      break;
  }
}

std::size_t ItemSize(ULONG type) {
  switch (type) {
    case PT_I2: return sizeof(short);
    case PT_LONG: return sizeof(LONG);
    case PT_R4: return sizeof(float);
    case PT_STRING8: return sizeof(LPSTR);
    case PT_UNICODE: return sizeof(LPWSTR);
    case PT_BINARY: return sizeof(SBinary);
    case PT_CLSID: return sizeof(GUID);
    default: return 8;
  }
}

void PutValue(std::string& out, const SPropValue& value) {
  const ULONG type = PROP_TYPE(value.ulPropTag);
  if (!Storable(type)) Fail(MAPI_E_INVALID_TYPE, "a property type that a profile cannot hold");
  out += "prop";
  PutNumber(out, value.ulPropTag);
  if (!(type & MV_FLAG)) {
    PutItem(out, type, &value.Value);
  } else {
    // Every multi-valued member is a count followed by a pointer to the items.
    const ULONG count = value.Value.MVi.cValues;
    const auto* items = static_cast<const BYTE*>(static_cast<const void*>(value.Value.MVi.lpi));
    if (count && !items) Fail(MAPI_E_BAD_VALUE, "a multi-valued property without values");
    PutNumber(out, count);
    const ULONG base = type & ~MV_FLAG;
    for (ULONG i = 0; i < count; ++i) {
      if (base == PT_CLSID) {
        PutBytes(out, items + i * sizeof(GUID), sizeof(GUID));
      } else {
        PutItem(out, base, items + i * ItemSize(base));
      }
    }
  }
  out += '\n';
}

// Reads the text form back, token by token.
class Reader {
 public:
  Reader(std::string_view text, const std::string& where) : text_(text), where_(where) {}

  [[noreturn]] void Damaged(const char* what) const {
    Fail(MAPI_E_CORRUPT_DATA, "the profile file " + where_ + " is damaged (" + what + ", line " +
                                  std::to_string(line_) + "); it was left as it is");
  }
  bool AtEnd() const { return pos_ >= text_.size(); }
  std::size_t Left() const { return text_.size() - pos_; }
  std::string_view Word() {
    if (pos_ < text_.size() && text_[pos_] == ' ') ++pos_;
    const std::size_t start = pos_;
    while (pos_ < text_.size() && text_[pos_] != ' ' && text_[pos_] != '\n') ++pos_;
    if (pos_ == start) Damaged("a value is missing");
    return text_.substr(start, pos_ - start);
  }
  void EndLine() {
    if (pos_ >= text_.size() || text_[pos_] != '\n') Damaged("a line does not end where it should");
    ++pos_;
    ++line_;
  }
  std::uint64_t Number(std::uint64_t max) {
    const std::string_view word = Word();
    if (word.size() > 16) Damaged("a number is too long");
    std::uint64_t value = 0;
    for (char c : word) {
      const char* digit = std::strchr(kDigits, c);
      if (!digit || !c) Damaged("a number has a character that is not a digit");
      value = value * 16 + static_cast<std::uint64_t>(digit - kDigits);
    }
    if (value > max) Damaged("a number is out of range");
    return value;
  }
  std::string Bytes() {
    const std::string_view word = Word();
    const std::size_t colon = word.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon > 9) Damaged("a byte string has no length");
    std::size_t cb = 0;
    for (char c : word.substr(0, colon)) {
      if (c < '0' || c > '9') Damaged("a byte string's length is not a number");
      cb = cb * 10 + static_cast<std::size_t>(c - '0');
    }
    const std::string_view hex = word.substr(colon + 1);
    if (hex.size() != cb * 2) Damaged("a byte string has another length than it says");
    std::string bytes(cb, '\0');
    for (std::size_t i = 0; i < cb; ++i) {
      const char* hi = std::strchr(kDigits, hex[2 * i]);
      const char* lo = std::strchr(kDigits, hex[2 * i + 1]);
      if (!hi || !lo || !hex[2 * i] || !hex[2 * i + 1]) Damaged("a byte string has a character that is not hex");
      bytes[i] = static_cast<char>((hi - kDigits) * 16 + (lo - kDigits));
    }
    return bytes;
  }

 private:
  std::string_view text_;
  const std::string& where_;
  std::size_t pos_ = 0;
  std::size_t line_ = 1;
};

LPVOID More(std::size_t cb, LPVOID root) {
  LPVOID p = nullptr;
  if (FAILED(MAPIAllocateMore(static_cast<ULONG>(cb ? cb : 1), root, &p))) throw std::bad_alloc();
  return p;
}

// Reads one item of `type` into `p` (the union member or the array slot), allocated on `root`.
void GetItem(Reader& in, ULONG type, void* p, LPVOID root) {
  switch (type) {
    case PT_I2:
    case PT_BOOLEAN: {
      const auto value = static_cast<std::uint16_t>(in.Number(0xFFFF));
      std::memcpy(p, &value, 2);
      break;
    }
    case PT_LONG:
    case PT_R4:
    case PT_ERROR: {
      const auto value = static_cast<std::uint32_t>(in.Number(0xFFFFFFFFu));
      std::memcpy(p, &value, 4);
      break;
    }
    case PT_STRING8: {
      const std::string bytes = in.Bytes();
      if (bytes.find('\0') != std::string::npos) in.Damaged("a string holds a NUL");
      auto* text = static_cast<char*>(More(bytes.size() + 1, root));
      std::memcpy(text, bytes.c_str(), bytes.size() + 1);
      *static_cast<LPSTR*>(p) = text;
      break;
    }
    case PT_UNICODE: {
      const std::string bytes = in.Bytes();
      if (bytes.size() % sizeof(WCHAR)) in.Damaged("a wide string has an odd length");
      auto* text = static_cast<WCHAR*>(More(bytes.size() + sizeof(WCHAR), root));
      std::memcpy(text, bytes.data(), bytes.size());
      text[bytes.size() / sizeof(WCHAR)] = 0;
      if (WideLength(text) != bytes.size() / sizeof(WCHAR)) in.Damaged("a wide string holds a NUL");
      *static_cast<LPWSTR*>(p) = text;
      break;
    }
    case PT_BINARY: {
      const std::string bytes = in.Bytes();
      auto* bin = static_cast<SBinary*>(p);
      bin->cb = static_cast<ULONG>(bytes.size());
      bin->lpb = static_cast<LPBYTE>(More(bytes.size(), root));
      std::memcpy(bin->lpb, bytes.data(), bytes.size());
      break;
    }
    case PT_CLSID: {
      const std::string bytes = in.Bytes();
      if (bytes.size() != sizeof(GUID)) in.Damaged("a GUID is not 16 bytes");
      auto* guid = static_cast<GUID*>(More(sizeof(GUID), root));
      std::memcpy(guid, bytes.data(), sizeof(GUID));
      *static_cast<GUID**>(p) = guid;
      break;
    }
    default: {
      const std::uint64_t value = in.Number(~std::uint64_t{0});
      std::memcpy(p, &value, 8);
      break;
    }
  }
}

OwnedProp GetValue(Reader& in) {
  const auto tag = static_cast<ULONG>(in.Number(0xFFFFFFFFu));
  const ULONG type = PROP_TYPE(tag);
  if (!Storable(type)) in.Damaged("a property of a type a profile cannot hold");
  OwnedProp value;
  if (FAILED(MAPIAllocateBuffer(sizeof(SPropValue), value.put()))) throw std::bad_alloc();
  std::memset(value.get(), 0, sizeof(SPropValue));
  value->ulPropTag = tag;
  if (!(type & MV_FLAG)) {
    GetItem(in, type, &value->Value, value.get());
  } else {
    const ULONG base = type & ~MV_FLAG;
    const auto count = static_cast<ULONG>(in.Number(0xFFFFFF));
    // Every value takes at least two characters: a count the text cannot hold is damage, not
    // a reason to allocate.
    if (count > in.Left() / 2) in.Damaged("a multi-valued property counts more values than it has");
    const std::size_t size = base == PT_CLSID ? sizeof(GUID) : ItemSize(base);
    auto* items = static_cast<BYTE*>(More(count * size, value.get()));
    for (ULONG i = 0; i < count; ++i) {
      if (base == PT_CLSID) {
        const std::string bytes = in.Bytes();
        if (bytes.size() != sizeof(GUID)) in.Damaged("a GUID is not 16 bytes");
        std::memcpy(items + i * size, bytes.data(), sizeof(GUID));
      } else {
        GetItem(in, base, items + i * size, value.get());
      }
    }
    value->Value.MVi.cValues = count;
    value->Value.MVi.lpi = reinterpret_cast<short*>(items);
  }
  return value;
}

[[noreturn]] void FailErrno(const std::string& what, const std::string& path) {
  const int error = errno;
  Fail(error == ENOSPC ? MAPI_E_NOT_ENOUGH_DISK : MAPI_E_DISK_ERROR, what + " " + path + ": " + std::strerror(error));
}

// Makes `path` and its parents; the last folder gets `mode`.
void MakeFolder(const std::string& path, mode_t mode) {
  std::size_t slash = 0;
  while ((slash = path.find('/', slash + 1)) != std::string::npos) {
    const std::string parent = path.substr(0, slash);
    if (mkdir(parent.c_str(), 0700) != 0 && errno != EEXIST) FailErrno("cannot create the folder", parent);
  }
  if (mkdir(path.c_str(), mode) != 0 && errno != EEXIST) FailErrno("cannot create the folder", path);
}

std::string FileName(const std::string& name) {
  // Bytes that could leave the folder or hide the file are written as %XX.
  std::string file;
  for (unsigned char c : name) {
    if (std::isalnum(c) || c == '-' || c == '_' || (c == '.' && !file.empty()) || c == ' ') {
      file += static_cast<char>(c);
    } else {
      file += '%';
      file += kDigits[c >> 4];
      file += kDigits[c & 15];
    }
  }
  return file + ".profile";
}

bool NameOfFile(const std::string& file, std::string& name) {
  constexpr std::string_view suffix = ".profile";
  if (file.size() <= suffix.size() || file.compare(file.size() - suffix.size(), suffix.size(), suffix) != 0)
    return false;
  name.clear();
  for (std::size_t i = 0; i < file.size() - suffix.size(); ++i) {
    if (file[i] != '%') {
      name += file[i];
      continue;
    }
    if (i + 2 >= file.size()) return false;
    const char* hi = std::strchr(kDigits, file[i + 1]);
    const char* lo = std::strchr(kDigits, file[i + 2]);
    if (!hi || !lo) return false;
    name += static_cast<char>((hi - kDigits) * 16 + (lo - kDigits));
    i += 2;
  }
  return true;
}

bool ReadFile(const std::string& path, std::string& text) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return false;
    FailErrno("cannot read the profile file", path);
  }
  text.clear();
  char buffer[16384];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      close(fd);
      FailErrno("cannot read the profile file", path);
    }
    if (n == 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  close(fd);
  return true;
}

void WriteFileAtomically(const std::string& path, const std::string& text) {
  std::string temp = path + ".XXXXXX";
  const int fd = mkstemp(temp.data());  // 0600
  if (fd < 0) FailErrno("cannot create a temporary file beside", path);
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      close(fd);
      unlink(temp.c_str());
      errno = error;
      FailErrno("cannot write the profile file", temp);
    }
    done += static_cast<std::size_t>(n);
  }
  if (fsync(fd) != 0 || close(fd) != 0) {
    const int error = errno;
    unlink(temp.c_str());
    errno = error;
    FailErrno("cannot write the profile file", temp);
  }
  if (rename(temp.c_str(), path.c_str()) != 0) {
    const int error = errno;
    unlink(temp.c_str());
    errno = error;
    FailErrno("cannot replace the profile file", path);
  }
  const std::string folder = path.substr(0, path.rfind('/'));
  const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
}

// Holds the profiles' lock (an exclusive flock on the folder's lock file) while it lives.
class FolderLock {
 public:
  FolderLock() {
    const std::string folder = ProfileDir();
    MakeFolder(folder, 0700);
    const std::string path = folder + "/.lock";
    fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) FailErrno("cannot open the profile lock", path);
    while (flock(fd_, LOCK_EX) != 0) {
      if (errno != EINTR) {
        close(fd_);
        FailErrno("cannot lock the profiles with", path);
      }
    }
  }
  ~FolderLock() { close(fd_); }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  int fd_;
};
}  // namespace

std::string FormatProfile(const ProfileData& profile) {
  std::string out(kMagic);
  out += '\n';
  std::size_t props = 0;
  for (const Section& section : profile.sections) {
    out += "section ";
    out += UidText(section.uid);
    out += '\n';
    for (const auto& [id, value] : section.props) {
      PutValue(out, *value);
      ++props;
    }
  }
  out += "end";
  PutNumber(out, profile.sections.size());
  PutNumber(out, props);
  out += '\n';
  return out;
}

ProfileData ParseProfile(std::string_view text, const std::string& where) {
  Reader in(text, where);
  if (text.substr(0, kMagic.size()) != kMagic) in.Damaged("it does not start as a profile");
  in.Word();
  in.Word();
  in.EndLine();
  ProfileData profile;
  std::size_t props = 0;
  for (;;) {
    if (in.AtEnd()) in.Damaged("it ends early");
    const std::string_view word = in.Word();
    if (word == "section") {
      const std::string_view hex = in.Word();
      Section section{};
      if (hex.size() != 32) in.Damaged("a section identifier is not 16 bytes");
      for (std::size_t i = 0; i < 16; ++i) {
        const char* hi = std::strchr(kDigits, hex[2 * i]);
        const char* lo = std::strchr(kDigits, hex[2 * i + 1]);
        if (!hi || !lo || !hex[2 * i] || !hex[2 * i + 1]) in.Damaged("a section identifier is not hex");
        section.uid.ab[i] = static_cast<BYTE>((hi - kDigits) * 16 + (lo - kDigits));
      }
      if (profile.Find(section.uid)) in.Damaged("a section appears twice");
      profile.sections.push_back(std::move(section));
    } else if (word == "prop") {
      if (profile.sections.empty()) in.Damaged("a property outside a section");
      OwnedProp value = GetValue(in);
      const ULONG id = PROP_ID(value->ulPropTag);
      if (!profile.sections.back().props.emplace(id, std::move(value)).second) in.Damaged("a property appears twice");
      ++props;
    } else if (word == "end") {
      const std::uint64_t sections = in.Number(~std::uint64_t{0});
      const std::uint64_t count = in.Number(~std::uint64_t{0});
      in.EndLine();
      if (sections != profile.sections.size() || count != props) in.Damaged("parts of it are missing");
      if (!in.AtEnd()) in.Damaged("something follows its end");
      return profile;
    } else {
      in.Damaged("a line of an unknown kind");
    }
    in.EndLine();
  }
}

std::string ProfileDir() {
  if (const char* dir = std::getenv("PXAB_PROFILE_DIR"); dir && *dir) return dir;
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/')
    return std::string(config) + "/pxab/profiles";
  const char* home = std::getenv("HOME");
  if (!home || !*home) Fail(MAPI_E_NOT_FOUND, "neither PXAB_PROFILE_DIR, XDG_CONFIG_HOME nor HOME is set");
  return std::string(home) + "/.config/pxab/profiles";
}

std::string ProfilePath(const std::string& name) {
  if (name.empty()) Fail(MAPI_E_INVALID_PARAMETER, "a profile needs a name");
  return ProfileDir() + "/" + FileName(name);
}

std::vector<std::string> ProfileNames() {
  std::vector<std::string> names;
  const std::string folder = ProfileDir();
  DIR* dir = opendir(folder.c_str());
  if (!dir) {
    if (errno == ENOENT) return names;
    FailErrno("cannot list the profiles in", folder);
  }
  while (const dirent* entry = readdir(dir)) {
    std::string name;
    if (NameOfFile(entry->d_name, name)) names.push_back(std::move(name));
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

bool ProfileExists(const std::string& name) { return access(ProfilePath(name).c_str(), F_OK) == 0; }

ProfileData ReadProfile(const std::string& name) {
  const std::string path = ProfilePath(name);
  std::string text;
  if (!ReadFile(path, text)) Fail(MAPI_E_NOT_FOUND, "there is no profile \"" + name + "\" (" + path + ")");
  return ParseProfile(text, path);
}

void ChangeProfile(const std::string& name, const std::function<void(ProfileData&)>& change, bool create) {
  const std::string path = ProfilePath(name);
  FolderLock lock;
  std::string text;
  const bool exists = ReadFile(path, text);
  if (create && exists) Fail(MAPI_E_NO_ACCESS, "the profile \"" + name + "\" exists already (" + path + ")");
  if (!create && !exists) Fail(MAPI_E_NOT_FOUND, "there is no profile \"" + name + "\" (" + path + ")");
  ProfileData profile = exists ? ParseProfile(text, path) : ProfileData{};
  change(profile);
  WriteFileAtomically(path, FormatProfile(profile));
}

void RemoveProfile(const std::string& name) {
  const std::string path = ProfilePath(name);
  FolderLock lock;
  if (unlink(path.c_str()) != 0) {
    if (errno == ENOENT) Fail(MAPI_E_NOT_FOUND, "there is no profile \"" + name + "\" (" + path + ")");
    FailErrno("cannot remove the profile file", path);
  }
}

}  // namespace pxmapi
