// Any store file parses, and reading the configuration from it never fails
// hard; what SaveConfig writes reads back the same.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "app/Config.h"
#include "app/RegistryFile.h"

namespace {
class TDocumentStore : public ringlark::IConfigStore {
  public:
    std::optional<ringlark::TRegistryDocument> Document;
    std::optional<ringlark::TRegistryDocument> Load() override { return Document; }
    bool Save(const ringlark::TRegistryDocument& document) override {
        Document = document;
        return true;
    }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    TDocumentStore store;
    store.Document = ringlark::ParseRegistryText(text);
    ringlark::TConfigValues values;
    ringlark::GetConfig(store, values);
    const auto written = ringlark::FormatRegistryText(ringlark::ConfigDocument(values));
    TDocumentStore again;
    again.Document = ringlark::ParseRegistryText(written);
    ringlark::TConfigValues reread;
    if (!ringlark::GetConfig(again, reread).empty() || reread.NumberMRU != values.NumberMRU ||
        reread.NameMRU != values.NameMRU || reread.AnalystMRU != values.AnalystMRU ||
        reread.Amplitude != values.Amplitude || reread.Clip != values.Clip) {
        __builtin_trap();
    }
    return 0;
}
