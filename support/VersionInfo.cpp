#include "support/VersionInfo.h"

#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <vector>

namespace {

// Reads exactly n bytes at offset; false on any short read.
bool ReadAt(int fd, uint64_t offset, void* buf, size_t n) {
  size_t done = 0;
  while (done < n) {
    ssize_t got = ::pread(fd, static_cast<char*>(buf) + done, n - done, static_cast<off_t>(offset + done));
    if (got <= 0) return false;
    done += static_cast<size_t>(got);
  }
  return true;
}

class FileCloser {
 public:
  explicit FileCloser(int fd) : fd_(fd) {}
  ~FileCloser() {
    if (fd_ >= 0) ::close(fd_);
  }

 private:
  int fd_;
};

struct Reader {
  bool swap = false;
  uint16_t U16(const unsigned char* p) const {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return swap ? static_cast<uint16_t>(__builtin_bswap16(v)) : v;
  }
  uint32_t U32(const unsigned char* p) const {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return swap ? __builtin_bswap32(v) : v;
  }
  uint64_t U64(const unsigned char* p) const {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return swap ? __builtin_bswap64(v) : v;
  }
};

struct Section {
  uint32_t type = 0;
  uint64_t offset = 0, size = 0;
};

constexpr uint64_t kMaxNoteSection = 1u << 20;  // our note is 28 bytes; anything huge is not ours

// Looks for the version note in one SHT_NOTE section's bytes.
bool FindNote(const Reader& r, const std::vector<unsigned char>& data, uint16_t out[4]) {
  const size_t nameLen = std::strlen(kVersionNoteName) + 1;
  size_t pos = 0;
  while (pos + 12 <= data.size()) {
    uint32_t namesz = r.U32(&data[pos]), descsz = r.U32(&data[pos + 4]), type = r.U32(&data[pos + 8]);
    pos += 12;
    uint64_t nameEnd = pos + ((static_cast<uint64_t>(namesz) + 3) & ~3ull);
    uint64_t descEnd = nameEnd + ((static_cast<uint64_t>(descsz) + 3) & ~3ull);
    if (nameEnd > data.size() || descEnd > data.size()) return false;
    if (namesz == nameLen && type == kVersionNoteType && descsz >= 8 &&
        std::memcmp(&data[pos], kVersionNoteName, nameLen) == 0) {
      for (int i = 0; i < 4; ++i) out[i] = r.U16(&data[nameEnd + 2 * i]);
      return true;
    }
    pos = static_cast<size_t>(descEnd);
  }
  return false;
}

bool ReadVersionNote(const std::string& path, uint16_t out[4]) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  FileCloser closer(fd);
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  const uint64_t fileSize = static_cast<uint64_t>(st.st_size);

  unsigned char ident[EI_NIDENT];
  if (!ReadAt(fd, 0, ident, sizeof ident) || std::memcmp(ident, ELFMAG, SELFMAG) != 0) return false;
  const bool is64 = ident[EI_CLASS] == ELFCLASS64;
  if (!is64 && ident[EI_CLASS] != ELFCLASS32) return false;
  if (ident[EI_DATA] != ELFDATA2LSB && ident[EI_DATA] != ELFDATA2MSB) return false;
  Reader r;
  const bool hostLittle = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;
  r.swap = (ident[EI_DATA] == ELFDATA2LSB) != hostLittle;

  uint64_t shoff;
  uint32_t shentsize, shnum;
  if (is64) {
    unsigned char h[sizeof(Elf64_Ehdr)];
    if (!ReadAt(fd, 0, h, sizeof h)) return false;
    shoff = r.U64(h + offsetof(Elf64_Ehdr, e_shoff));
    shentsize = r.U16(h + offsetof(Elf64_Ehdr, e_shentsize));
    shnum = r.U16(h + offsetof(Elf64_Ehdr, e_shnum));
    if (shentsize < sizeof(Elf64_Shdr)) return false;
  } else {
    unsigned char h[sizeof(Elf32_Ehdr)];
    if (!ReadAt(fd, 0, h, sizeof h)) return false;
    shoff = r.U32(h + offsetof(Elf32_Ehdr, e_shoff));
    shentsize = r.U16(h + offsetof(Elf32_Ehdr, e_shentsize));
    shnum = r.U16(h + offsetof(Elf32_Ehdr, e_shnum));
    if (shentsize < sizeof(Elf32_Shdr)) return false;
  }
  if (shoff == 0 || shnum == 0 || shoff > fileSize || uint64_t(shnum) * shentsize > fileSize - shoff)
    return false;

  std::vector<unsigned char> table(static_cast<size_t>(shnum) * shentsize);
  if (!ReadAt(fd, shoff, table.data(), table.size())) return false;
  for (uint32_t i = 0; i < shnum; ++i) {
    const unsigned char* e = &table[static_cast<size_t>(i) * shentsize];
    Section s;
    if (is64) {
      s.type = r.U32(e + offsetof(Elf64_Shdr, sh_type));
      s.offset = r.U64(e + offsetof(Elf64_Shdr, sh_offset));
      s.size = r.U64(e + offsetof(Elf64_Shdr, sh_size));
    } else {
      s.type = r.U32(e + offsetof(Elf32_Shdr, sh_type));
      s.offset = r.U32(e + offsetof(Elf32_Shdr, sh_offset));
      s.size = r.U32(e + offsetof(Elf32_Shdr, sh_size));
    }
    if (s.type != SHT_NOTE || s.size == 0 || s.size > kMaxNoteSection) continue;
    if (s.offset > fileSize || s.size > fileSize - s.offset) continue;
    std::vector<unsigned char> data(static_cast<size_t>(s.size));
    if (!ReadAt(fd, s.offset, data.data(), data.size())) continue;
    if (FindNote(r, data, out)) return true;
  }
  return false;
}

}  // namespace

void TVersionInfo::Clear() { Major = Minor = Release = Build = 0; }

bool TVersionInfo::ReadFromFile(const std::string& path) {
  if (QueryFileVersion(path, &Major, &Minor, &Release, &Build)) return true;
  Clear();
  return false;
}

bool QueryFileVersion(const std::string& path, uint16_t* major, uint16_t* minor, uint16_t* release,
                      uint16_t* build) {
  uint16_t v[4] = {0, 0, 0, 0};
  try {
    if (!ReadVersionNote(path, v)) return false;
  } catch (...) {
    return false;
  }
  if (major) *major = v[0];
  if (minor) *minor = v[1];
  if (release) *release = v[2];
  if (build) *build = v[3];
  return true;
}

std::string VersionToText(uint16_t major, uint16_t minor, uint16_t release, uint16_t build) {
  return "v" + std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(release) + "." +
         std::to_string(build);
}

std::string GetFileVersionText(const std::string& path) {
  TVersionInfo info;
  if (info.ReadFromFile(path)) return VersionToText(info.Major, info.Minor, info.Release, info.Build);
  return "v0.0.0.0";
}
