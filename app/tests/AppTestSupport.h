#pragma once

#include <ctime>

#include "app/CallerIdTabs.h"
#include "app/Config.h"
#include "app/RegistryFile.h"

namespace ringlark::test {

// A clock that shows whatever the test sets.
class TFixedClock : public IClock {
  public:
    std::tm Now{};
    TFixedClock() { Set(2026, 12, 7, 9, 30); }
    void Set(int year, int month, int day, int hour, int minute) {
        Now = {};
        Now.tm_year = year - 1900;
        Now.tm_mon = month - 1;
        Now.tm_mday = day;
        Now.tm_hour = hour;
        Now.tm_min = minute;
    }
    std::tm LocalNow() override { return Now; }
};

// A configuration store in memory.
class TMemoryStore : public IConfigStore {
  public:
    std::optional<TRegistryDocument> Document;
    bool Writable = true;
    int Saves = 0;
    std::optional<TRegistryDocument> Load() override { return Document; }
    bool Save(const TRegistryDocument& document) override {
        if (!Writable) {
            return false;
        }
        ++Saves;
        Document = document;
        return true;
    }
};

// A store file whose number list is missing while the name list ("Ann"), the
// analyst list ("/tmp/a.wav") and the amplitude (90) are intact.
inline Bytes StoreWithoutNumberList() {
    TConfigValues stored;
    stored.NameMRU[0] = "Ann";
    stored.AnalystMRU[0] = "/tmp/a.wav";
    stored.Amplitude = 90;
    TRegistryDocument document = ConfigDocument(stored);
    document.Keys.erase(document.Keys.begin());  // no NumberMRU
    return FormatRegistryText(document);
}

}  // namespace ringlark::test
