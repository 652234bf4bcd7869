#pragma once
// Turns the program's stored scrambled texts into plain texts.
//
// A scrambled text is a body of two hexadecimal digits per plain byte (the
// byte XOR 0x10) followed by a 9-character check: characters 3 to 11 of the
// key's MD5 digest in upper case. The key guards the text; it does not take
// part in recovering the bytes. scripts/make-scrambled-text makes such texts.
//
// Window thread: UnscrambleText processes pending events after every byte, so
// other handlers may run inside it.
#include <cstdint>
#include <string>

// The plain text, or "" when the check does not match the key.
std::string UnscrambleText(const std::string& scrambled, const std::string& key);

// MD5 digest of the bytes as 32 lower-case hexadecimal digits.
std::string Md5Hex(const std::string& bytes);

// Value of up to 16 hexadecimal digits (either case). Characters that are no
// digits are not refused; they count by the same code arithmetic as digits.
std::int64_t HexValue(const std::string& digits);
