#include "rtl/Resources.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>
#include <utility>

namespace rtl {

namespace {

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

struct Module {
    std::map<std::pair<std::string, std::string>, std::vector<uint8_t>> Blocks;  // (type, name) upper-cased
    TResourceLookup Lookup;
};

struct Registry {
    std::mutex Mutex;
    std::map<HINSTANCE, Module> Modules;
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

}  // namespace

void AddResource(HINSTANCE instance, const std::string& type, const std::string& name, std::vector<uint8_t> bytes) {
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.Mutex);
    registry.Modules[instance].Blocks[{Upper(type), Upper(name)}] = std::move(bytes);
}

void RegisterResourceLookup(HINSTANCE instance, TResourceLookup lookup) {
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.Mutex);
    registry.Modules[instance].Lookup = std::move(lookup);
}

void RemoveResources(HINSTANCE instance) {
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.Mutex);
    registry.Modules.erase(instance);
}

std::optional<std::vector<uint8_t>> FindResource(HINSTANCE instance, const std::string& type, const std::string& name) {
    TResourceLookup lookup;
    {
        Registry& registry = TheRegistry();
        std::lock_guard<std::mutex> lock(registry.Mutex);
        const auto module = registry.Modules.find(instance);
        if (module == registry.Modules.end()) return std::nullopt;
        const auto block = module->second.Blocks.find({Upper(type), Upper(name)});
        if (block != module->second.Blocks.end()) return block->second;
        lookup = module->second.Lookup;
    }
    // Outside the lock: a lookup may take its time, or look up another
    // module's blocks itself.
    if (!lookup) return std::nullopt;
    return lookup(type, name);
}

namespace {

std::vector<uint8_t> ResourceBytes(HINSTANCE instance, const std::string& name, const std::string& type) {
    std::optional<std::vector<uint8_t>> bytes = FindResource(instance, type, name);
    if (!bytes) throw EResNotFound("Resource " + name + " not found");
    return std::move(*bytes);
}

}  // namespace

TResourceStream::TResourceStream(HINSTANCE instance, const std::string& name, const std::string& type)
    : TMemoryStream(ResourceBytes(instance, name, type)) {}

}  // namespace rtl
