// SPDX-License-Identifier: BSD-3-Clause
#include "cordrel_binding.h"

#include <cstdint>

namespace tessary {
namespace {

using Address = void (*)(void);

Address find(const CordrelOrdinal* table, uint32_t ordinal) {
    for (const CordrelOrdinal* entry = table; entry != nullptr && entry->ordinal != 0; ++entry) {
        if (entry->ordinal == ordinal) {
            return entry->address;
        }
    }
    return nullptr;
}

} // namespace

bool BindCordrel(const CordrelOrdinal* table, CordrelBindings& b, std::string& error) {
    bool ok = true;
    auto bind = [&](uint32_t ordinal, auto& slot) {
        const Address address = find(table, ordinal);
        if (address == nullptr) {
            error += (error.empty() ? "the memory-card library lacks ordinal " : ", ") +
                     std::to_string(ordinal);
            ok = false;
            return;
        }
        slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(address);
    };
    bind(22, b.readWithProtect4418);
    bind(23, b.readWithoutProtect4418);
    bind(24, b.writeWithProtect4418);
    bind(25, b.writeWithProtectChecked4418);
    bind(26, b.writeWithoutProtect4418);
    bind(27, b.writeWithoutProtectChecked4418);
    bind(28, b.writeProtectBit4418);
    bind(29, b.verify4428);
    bind(30, b.readWithProtect4428);
    bind(31, b.readWithoutProtect4428);
    bind(32, b.writeWithProtect4428);
    bind(33, b.writeWithProtectChecked4428);
    bind(34, b.writeWithoutProtect4428);
    bind(35, b.writeWithoutProtectChecked4428);
    bind(36, b.writeProtectBit4428);
    bind(37, b.readMain4432);
    bind(38, b.readProtection4432);
    bind(39, b.updateMain4432);
    bind(40, b.updateMainChecked4432);
    bind(41, b.writeProtection4432);
    bind(49, b.verify4442);
    bind(50, b.readMain4442);
    bind(51, b.readProtection4442);
    bind(52, b.readSecurity4442);
    bind(53, b.updateMain4442);
    bind(54, b.updateMainChecked4442);
    bind(55, b.updateSecurity4442);
    bind(56, b.writeProtection4442);
    return ok;
}

const CordrelBindings& LibraryCordrel() {
    static const CordrelBindings bindings = [] {
        CordrelBindings b;
        std::string error;
        BindCordrel(Cordrel_Ordinals, b, error);
        return b;
    }();
    return bindings;
}

} // namespace tessary
