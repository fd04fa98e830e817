// Member names are code page 950 (Big5) bytes inside archives. At the tool's edges (arguments,
// listings, file names on disk) they are in the terminal's encoding: UTF-8 on POSIX, the ANSI
// code page on Windows; JSON output is UTF-8 everywhere. --raw-names passes the bytes through
// unchanged.
#pragma once

#include <cstddef>
#include <string>

class NameCodec {
 public:
  explicit NameCodec(bool raw) : raw_(raw) {}

  // False when the text holds a character that has no exact form in the other encoding: a
  // name is never altered to fit.
  bool to_archive(const std::string& text, std::string* name) const;
  bool to_terminal(const std::string& name, std::string* text) const;
  bool to_utf8(const std::string& name, std::string* text) const;
  bool raw() const { return raw_; }
  // A stored name for messages: converted when it can be, else with its bytes from 0x80 up
  // written as \xNN.
  std::string shown(const std::string& name) const;

 private:
  bool raw_;
};

// Columns a name in the terminal's encoding takes on the terminal (East Asian characters two).
size_t terminal_columns(const std::string& text);
// Columns of UTF-8 text: East Asian wide characters take two, bytes that are not UTF-8 one.
size_t utf8_columns(const std::string& text);

// The outside encodings a name meets.
enum class NameEdge { Terminal, Utf8 };

// The platform's conversions (name_codec_posix.cpp, name_codec_win32.cpp): false on any byte
// sequence that is invalid in the source or has no form in the target.
bool edge_to_cp950(NameEdge edge, const std::string& text, std::string* out);
bool cp950_to_edge(NameEdge edge, const std::string& name, std::string* out);
