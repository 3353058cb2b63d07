// A file written in place: created or truncated, filled, closed, every call
// through the file layer. The first failing call's error number is kept so
// that it can be reported afterwards.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

#include "files/write_all.h"

class FileOutput {
public:
  // Creates or truncates path with the usual creation mode (0666 less umask).
  explicit FileOutput(const std::string& path);
  // Creates or truncates name in the directory dir, never writing through a
  // link: a link standing at name is removed and the file made in its place.
  // A dir below 0 (a directory that could not be opened) fails with the error
  // errno holds.
  FileOutput(int dir, const char* name);
  ~FileOutput();
  FileOutput(const FileOutput&) = delete;
  FileOutput& operator=(const FileOutput&) = delete;

  // Whether the file was opened (a later write may still fail).
  bool opened() const { return fd_ >= 0; }
  // Appends bytes; does nothing once a call has failed.
  void write(const char* bytes, std::size_t length);
  void write(const std::string& text) { write(text.data(), text.size()); }
  // Sets the file's permission bits; does nothing once a call has failed.
  void changeMode(mode_t mode);
  // Closes the file. NotWritten when any call failed, with errno set to the
  // first failure's error number. Reports nothing.
  [[nodiscard]] WriteResult finish();

private:
  int fd_ = -1;
  int error_ = 0;
};

// Creates or truncates path holding content; NotWritten with errno set on
// failure. Reports nothing.
[[nodiscard]] WriteResult writeWholeFile(const std::string& path, const std::string& content);
// The same for name in the directory dir, never through a link: see FileOutput.
[[nodiscard]] WriteResult writeWholeFile(int dir, const char* name, const std::string& content);
