#pragma once
#include <cstdint>
#include <string>

// The program file's version, read from the ELF note "VeltraQRM" that vq_embed_version() puts into
// an executable (section .note.veltra.version, note type 1, four 16-bit numbers).
class TVersionInfo {
 public:
  uint16_t Major = 0;
  uint16_t Minor = 0;
  uint16_t Release = 0;
  uint16_t Build = 0;

  void Clear();
  // On success stores the four numbers and returns true; on failure clears and returns false.
  bool ReadFromFile(const std::string& path);
};

// Reads the version note of the file at path. Any output left null is skipped. False for a file
// without the note, a file that is not ELF, or one that cannot be read; never throws.
bool QueryFileVersion(const std::string& path, uint16_t* major, uint16_t* minor, uint16_t* release,
                      uint16_t* build);

// "v<Major>.<Minor>.<Release>.<Build>" of that file, or "v0.0.0.0".
std::string GetFileVersionText(const std::string& path);
std::string VersionToText(uint16_t major, uint16_t minor, uint16_t release, uint16_t build);

// The owner name and type of the version note (shared with the build's generated source).
inline constexpr const char* kVersionNoteName = "VeltraQRM";
inline constexpr uint32_t kVersionNoteType = 1;
