#pragma once
#include <string>

// The current user's local application-data folder: $XDG_DATA_HOME when it is set and absolute,
// else $HOME/.local/share (the home folder from the user database when $HOME is not absolute).
// Missing folders of that path are created, private (0700). "" only when the user has no home.
// Never ends in "/".
std::string GetLocalAppDataPath();

// Full path of the running program file (realpath of /proc/self/exe), unless overridden.
std::string ProgramFilePath();

// A helper program installed beside the window program shares its settings, texts and log:
// from here on the program file counts as `name` in the real program file's folder.
void ActAsSiblingProgram(const std::string& name);

// Tests pretend to be another program file; "" restores the real one.
void SetProgramFilePathForTesting(const std::string& path);

// Folder of the program file, without a trailing "/" (Strings.ini lies there).
std::string ProgramFolder();

// Program file name without folder and without its last extension ("Reader.new.exe" -> "Reader.new").
std::string ProgramBaseName();

// GetLocalAppDataPath() + "/" + ProgramBaseName(); created (0700) when missing, a failure to create
// it is left to the first file written there. Never relative to the current directory.
std::string UserProgramFolder();

// Small path helpers shared by the settings file and the log.
std::string ExtractFileName(const std::string& path);  // part after the last "/"
std::string ExtractFileDir(const std::string& path);   // part before the last "/" ("" when none)
std::string ChangeFileExt(const std::string& path, const std::string& ext);  // ext includes the dot
bool FileExists(const std::string& path);  // a regular file (or anything not a folder)
bool DirectoryExists(const std::string& path);
