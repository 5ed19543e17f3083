// Traditional PKWARE encryption: three 32-bit keys driven by the password and by every plain
// byte. Weak by today's standards, but it is what old archives use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace glyptor::archive {

constexpr int EncryptionHeaderSize = 12;

class TZipCrypto {
public:
    explicit TZipCrypto(const std::string& password = "") { Init(password); }
    void Init(const std::string& password);

    uint8_t DecryptByte(uint8_t cipher);
    uint8_t EncryptByte(uint8_t plain);
    void Decrypt(uint8_t* data, size_t count);
    void Encrypt(uint8_t* data, size_t count);

    // Decrypts the 12-byte header in place and says whether its last byte equals checkByte
    // (the CRC's high byte, or the DOS time's high byte for entries with a data descriptor).
    bool CheckHeader(uint8_t (&header)[EncryptionHeaderSize], uint8_t checkByte);

private:
    void UpdateKeys(uint8_t plain);
    uint8_t KeyStream() const;
    uint32_t Key0 = 0, Key1 = 0, Key2 = 0;
};

} // namespace glyptor::archive
