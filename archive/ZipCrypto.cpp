// Key schedule and byte transform of traditional PKWARE encryption.
#include "archive/ZipCrypto.h"

#include "archive/Crc32.h"

namespace glyptor::archive {

void TZipCrypto::Init(const std::string& password) {
    Key0 = 305419896u;
    Key1 = 591751049u;
    Key2 = 878082192u;
    for (char c : password)
        UpdateKeys(static_cast<uint8_t>(c));
}

void TZipCrypto::UpdateKeys(uint8_t plain) {
    Key0 = Crc32Byte(Key0, plain);
    Key1 = (Key1 + (Key0 & 0xFF)) * 134775813u + 1;
    Key2 = Crc32Byte(Key2, static_cast<uint8_t>(Key1 >> 24));
}

uint8_t TZipCrypto::KeyStream() const {
    // 32-bit arithmetic: the product of two 16-bit values overflows an int.
    uint32_t temp = (Key2 | 2) & 0xFFFF;
    return static_cast<uint8_t>((temp * (temp ^ 1)) >> 8);
}

uint8_t TZipCrypto::DecryptByte(uint8_t cipher) {
    uint8_t plain = cipher ^ KeyStream();
    UpdateKeys(plain);
    return plain;
}

uint8_t TZipCrypto::EncryptByte(uint8_t plain) {
    uint8_t cipher = plain ^ KeyStream();
    UpdateKeys(plain);
    return cipher;
}

void TZipCrypto::Decrypt(uint8_t* data, size_t count) {
    for (size_t i = 0; i < count; ++i)
        data[i] = DecryptByte(data[i]);
}

void TZipCrypto::Encrypt(uint8_t* data, size_t count) {
    for (size_t i = 0; i < count; ++i)
        data[i] = EncryptByte(data[i]);
}

bool TZipCrypto::CheckHeader(uint8_t (&header)[EncryptionHeaderSize], uint8_t checkByte) {
    Decrypt(header, EncryptionHeaderSize);
    return header[EncryptionHeaderSize - 1] == checkByte;
}

} // namespace glyptor::archive
