#include "util/unscramble_text.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QCryptographicHash>

namespace {

constexpr std::size_t kCheckLength = 9;

// Digit value by code arithmetic alone: "a" upward less 87, "A" upward less
// 55, anything else less 48. Non-digits thus give out-of-range values on
// purpose; the caller keeps only the bits it needs.
std::uint32_t DigitValue(unsigned char c) {
  if (c >= 'a') return static_cast<std::uint32_t>(c) - 87u;
  if (c >= 'A') return static_cast<std::uint32_t>(c) - 55u;
  return static_cast<std::uint32_t>(c) - 48u;  // wraps for codes below '0'
}

// Eight characters, the rightmost with weight 1, as 32 bits (mod 2^32).
std::uint32_t HalfValue(const std::string& eight) {
  std::uint32_t v = 0;
  for (unsigned char c : eight) v = v * 16u + DigitValue(c);
  return v;
}

}  // namespace

std::int64_t HexValue(const std::string& digits) {
  std::string padded = std::string(16, '0') + digits;
  padded = padded.substr(padded.size() - 16);
  const std::uint64_t high = HalfValue(padded.substr(0, 8));
  const std::uint64_t low = HalfValue(padded.substr(8, 8));
  return static_cast<std::int64_t>((high << 32) | low);
}

std::string Md5Hex(const std::string& bytes) {
  const QByteArray digest = QCryptographicHash::hash(
      QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())), QCryptographicHash::Md5);
  if (digest.size() != 16) return {};
  return digest.toHex().toStdString();  // toHex writes lower case
}

std::string UnscrambleText(const std::string& scrambled, const std::string& key) {
  const std::size_t checkStart = scrambled.size() > kCheckLength ? scrambled.size() - kCheckLength : 0;
  const std::string check = scrambled.substr(checkStart);

  const std::string digest = Md5Hex(key);
  if (digest.size() < 2 + kCheckLength) return {};
  std::string expected = digest.substr(2, kCheckLength);
  for (char& c : expected)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  if (check != expected) return {};

  const std::string body = scrambled.substr(0, checkStart);
  std::string plain;
  plain.reserve(body.size() / 2 + 1);
  for (std::size_t i = 0; i < body.size(); i += 2) {
    const auto value = static_cast<std::uint64_t>(HexValue(body.substr(i, 2)));
    plain.push_back(static_cast<char>((value ^ 3600u) & 0xFFu));
    // Keeps the window alive while a text is read; handlers may re-enter here.
    if (QCoreApplication::instance()) QCoreApplication::processEvents();
  }
  return plain;
}
