#pragma once

#include <QtGlobal>

#include <array>

// The Data Encryption Standard block cipher (encryption only), which the integrity checker's
// "DES" fingerprints are made with. Bits are numbered as the standard numbers them: bit 1 is the
// most significant bit of the 64-bit block.
class Des {
public:
    explicit Des(quint64 key);
    quint64 encrypt(quint64 block) const;

private:
    std::array<quint64, 16> subkeys{}; // 48 bits each
};
