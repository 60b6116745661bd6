// A module's resources as the class library reaches them: named blocks of
// bytes of a type (RT_RCDATA for raw data), found by module, type and name;
// names and types compare in any letter case, as the window system's do.
//
// A module's blocks are either added to its table one by one (AddResource)
// or served by a lookup registered for the module (RegisterResourceLookup),
// through which a program hands out what it bundles; the table is searched
// first.  Any thread; the registry is process-wide.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "rtl/Classes.h"
#include "rtl/SysUtils.h"

namespace rtl {

// A module handle.
using HINSTANCE = uintptr_t;
// The running program's own module.
inline constexpr HINSTANCE HInstance = 1;

// The resource type of raw data.
inline constexpr const char* RT_RCDATA = "RCDATA";

// No resource of the name and type in the module: "Resource NAME not found".
class EResNotFound : public Exception {
public:
    using Exception::Exception;
};

using TResourceLookup = std::function<std::optional<std::vector<uint8_t>>(const std::string& type, const std::string& name)>;

// Adds a block to the module's table, replacing one of the same type and name.
void AddResource(HINSTANCE instance, const std::string& type, const std::string& name, std::vector<uint8_t> bytes);
// The lookup serves the module's blocks that its table does not hold; an
// empty lookup removes it.  The module's table stays.
void RegisterResourceLookup(HINSTANCE instance, TResourceLookup lookup);
// Forgets the module: its table and its lookup.
void RemoveResources(HINSTANCE instance);
// The block, or nothing when the module has none of that type and name.
std::optional<std::vector<uint8_t>> FindResource(HINSTANCE instance, const std::string& type, const std::string& name);

// A memory stream holding a resource's bytes; EResNotFound when there is
// none.
class TResourceStream : public TMemoryStream {
public:
    TResourceStream(HINSTANCE instance, const std::string& name, const std::string& type);
    std::string ClassName() const override { return "TResourceStream"; }
};

}  // namespace rtl
