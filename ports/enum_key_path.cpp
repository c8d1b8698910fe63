// The Enum-key path: every serial port found in the registry's hardware tree,
// none of them known to be a bridge.

#include "ports/port_paths.h"

namespace sn::detail {

namespace {

// Key names and the two values are read into 128 bytes, terminator included.
constexpr std::size_t kMaxRegText = 127;

const std::string kEnumPath = "Could not read from HKLM\\Enum";

// An open registry key, closed on every way out.
class Key {
  public:
    Key(WinPortApi& source, RegKey parent, const std::string& name, const std::string& errorText)
        : source_(source) {
        const auto key = source_.OpenKey(parent, name);
        if (!key) {
            throw PortListError(errorText);
        }
        key_ = *key;
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    ~Key() { source_.CloseKey(key_); }

    RegKey get() const { return key_; }
    // Subkey names from index 0 until the first that can't be read.
    std::optional<std::string> Subkey(std::uint32_t index) const {
        auto name = source_.EnumSubkey(key_, index);
        if (name && name->size() > kMaxRegText) {
            return std::nullopt;  // too long for the buffer: the walk ends here
        }
        return name;
    }
    std::optional<std::string> Value(const std::string& name) const {
        auto value = source_.QueryValue(key_, name);
        if (value && value->size() > kMaxRegText) {
            return std::nullopt;
        }
        return value;
    }

  private:
    WinPortApi& source_;
    RegKey key_ = 0;
};

void AddOrReplace(std::vector<PortRecord>& ports, const PortRecord& info) {
    for (PortRecord& existing : ports) {
        if (existing.name == info.name) {
            existing = info;  // keeps the first one's place
            return;
        }
    }
    ports.push_back(info);
}

void PortInstances(std::vector<PortRecord>& ports, WinPortApi& source, const Key& device,
                   bool isUsb) {
    for (std::uint32_t i = 0;; ++i) {
        const auto name = device.Subkey(i);
        if (!name) {
            return;
        }
        const Key instance(source, device.get(), *name, kEnumPath + "\\...\\" + *name);
        const auto portName = instance.Value("PORTNAME");
        if (!portName) {
            continue;
        }
        PortRecord info;
        info.name = *portName;
        info.path = *portName;
        info.friendlyName = instance.Value("FRIENDLYNAME").value_or("");
        info.isUsb = isUsb;
        info.unidentified = true;
        AddOrReplace(ports, info);
    }
}

void ClassKey(std::vector<PortRecord>& ports, WinPortApi& source, const Key& enumKey,
              const std::string& cls) {
    const Key classKey(source, enumKey.get(), cls, kEnumPath + "\\" + cls);
    const bool usbClass = cls == "USBPORTS";
    for (std::uint32_t j = 0;; ++j) {
        const auto dev = classKey.Subkey(j);
        if (!dev) {
            return;
        }
        if (!usbClass && *dev != "*PNP0500" && *dev != "*PNP0501") {
            continue;
        }
        const Key device(source, classKey.get(), *dev, kEnumPath + "\\" + cls + "\\" + *dev);
        PortInstances(ports, source, device, usbClass);
    }
}

}  // namespace

void EnumKeyPath(std::vector<PortRecord>& ports, WinPortApi& source) {
    const Key enumKey(source, kHklm, "Enum", kEnumPath);
    for (std::uint32_t i = 0;; ++i) {
        const auto cls = enumKey.Subkey(i);
        if (!cls) {
            return;
        }
        ClassKey(ports, source, enumKey, *cls);
    }
}

}  // namespace sn::detail
