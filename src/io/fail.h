// How input/output failures end a run: one line that names the file and the problem, exit status 1;
// and how a name or a text from outside the program is shown in such a line.
#pragma once

#include <string>

// Flushes standard output, prints `message` and a line break on standard error and ends the process
// with status 1.
[[noreturn]] void failRun(const std::string& message);

// Prints "Can't create %s !" with the file name on standard output (as the motion-table writer
// does) and ends the process with status 1.
[[noreturn]] void failCreate(const std::string& filename);

// `text` with every control character shown as '?': the bytes 0 to 31 (NUL, tab, line breaks,
// escape...), 127, the UTF-8 forms of the characters 128 to 159, and the bytes 0x80 to 0x9F that are
// no part of a valid UTF-8 character (8-bit codes of those characters). Anything else (names in UTF-8,
// other bytes of 160 and above in another 8-bit encoding) is kept, so that a message stays one line
// and cannot act on the terminal. Ordinary names are unchanged.
std::string escaped(const std::string& text);

// escaped(text) between single quotes: how messages name a file or quote an option text.
std::string quoted(const std::string& text);

// The position of the first control character of `text` as escaped() shows them, or npos; a byte
// 0x80..0x9F outside UTF-8 is not counted (in an 8-bit encoding such as cp1252 it may be a letter of a
// file name, and names holding one have always been read).
std::string::size_type firstControlCharacter(const std::string& text);
