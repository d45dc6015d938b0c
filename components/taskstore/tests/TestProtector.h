// A stand-in for the platform's data protection in portable tests: reversible,
// recognisable, and able to refuse.
#pragma once
#include "RegText.h"

class CTestProtector : public taskstore::IValueProtector {
public:
    bool m_bRefuseSeal = false;
    bool m_bRefuseUnseal = false;
    bool Seal(const std::vector<uint8_t>& plain, std::vector<uint8_t>& blob) const override {
        if (m_bRefuseSeal)
            return false;
        blob = {'S', 'E', 'A', 'L'};
        for (uint8_t b : plain)
            blob.push_back(uint8_t(b ^ 0x5A));
        return true;
    }
    bool Unseal(const std::vector<uint8_t>& blob, std::vector<uint8_t>& plain) const override {
        if (m_bRefuseUnseal || blob.size() < 4 || blob[0] != 'S' || blob[1] != 'E')
            return false;
        plain.clear();
        for (size_t i = 4; i < blob.size(); ++i)
            plain.push_back(uint8_t(blob[i] ^ 0x5A));
        return true;
    }
};
