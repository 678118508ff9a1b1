// A temporary folder removed with everything in it when the test ends.
#pragma once

#include <filesystem>
#include <string>

// The whole content of a file; empty when it cannot be read.
std::string ReadAll(const std::filesystem::path& path);

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::filesystem::path& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};
