// What reading a piece of a package file or of the database came to.
#pragma once

#include <cstdint>

// The outcome of the readers of package files (a file header, a trailer, a
// digest, a header or list part, a whole file's headers) and of the database
// (a relation list, the images). The readers report nothing: the caller does.
//   Read     the piece was there and was read whole; the outputs hold it
//   NotRead  it was not there (the input ended early, no digest was ready, a
//            directory could not be opened) or it broke a rule the reader
//            names (a name refused, a length that differs); the reader's
//            contract says what its outputs then hold
enum class ReadResult : std::uint8_t { Read, NotRead };
