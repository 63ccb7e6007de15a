// The installation-directory lookup through the Win32 stand-in, against a plain model of its rules:
// REG_SZ only, two queries, the second must report exactly the size the first did, and the value
// ends at its first zero byte (or is taken whole without one).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "fake_win32.h"
#include "state/config.h"

namespace {

struct Input {
    const uint8_t* data;
    size_t size;
    uint8_t Byte() { return size ? (--size, *data++) : 0; }
    std::string Bytes(size_t count)
    {
        count = count < size ? count : size;
        std::string bytes(reinterpret_cast<const char*>(data), count);
        data += count;
        size -= count;
        return bytes;
    }
};

std::optional<LONG> Forced(uint8_t selector)
{
    switch (selector % 8) {
    case 1: return ERROR_ACCESS_DENIED;
    case 2: return ERROR_MORE_DATA;
    default: return std::nullopt;
    }
}

std::optional<std::string> Model(const fake::Registry& registry)
{
    if (registry.openResult != ERROR_SUCCESS || !registry.valuePresent)
        return std::nullopt;
    if (registry.firstQueryResult || registry.type != REG_SZ)
        return std::nullopt;
    const std::string& later = registry.storedLater ? *registry.storedLater : registry.stored;
    if (registry.secondQueryResult || later.size() != registry.stored.size())
        return std::nullopt;
    return later.substr(0, later.find('\0'));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input input{data, size};
    fake::Reset();
    fake::Registry& registry = fake::script().registry;
    uint8_t flags = input.Byte();
    registry.openResult = flags & 1 ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS;
    registry.valuePresent = (flags & 2) == 0;
    registry.type = flags & 4 ? input.Byte() % 12 : REG_SZ;
    registry.firstQueryResult = Forced(input.Byte());
    registry.secondQueryResult = Forced(input.Byte());
    size_t storedSize = input.Byte() * 4u;
    registry.stored = input.Bytes(storedSize);
    if (flags & 8)
        registry.storedLater = input.Bytes(input.Byte());

    char* found = LookupInstallDir();
    std::optional<std::string> expected = Model(registry);
    if (expected.has_value() != (found != nullptr) || (found && *expected != found))
        abort();
    free(found);
    return 0;
}
