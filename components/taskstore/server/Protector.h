// Secrets in the store file are sealed with the per-user data protection of
// the platform: only the same user on the same machine can open them.
#pragma once
#include "RegText.h"

namespace taskstore {

class CUserProtector : public IValueProtector {
public:
    bool Seal(const std::vector<uint8_t>& plain, std::vector<uint8_t>& blob) const override;
    bool Unseal(const std::vector<uint8_t>& blob, std::vector<uint8_t>& plain) const override;
};

} // namespace taskstore
