#pragma once

#include <ctime>
#include <functional>

#include "generation/workflow/CallerIdTab.h"
#include "generation/workflow/ClockText.h"

namespace ringlark {

// The local clock, injected so that the date and time fields can be tested.
class IClock {
  public:
    virtual ~IClock() = default;
    virtual std::tm LocalNow() = 0;
};

class TSystemClock : public IClock {
  public:
    std::tm LocalNow() override;
};

enum class TTabBox { OutOfArea, Private, LongDistance, NumberDisabled, NameDisabled, UseCurrent };
enum class TTabId { Sdmf, Mdmf, Cwcid };
enum class TMiscChoice { VmwiOn, VmwiOff, TestMessage };

// The control states of the SDMF, MDMF, CWCID and Misc. tabs and their rules.
// Click operations run after the box's state has changed; a rule that changes a
// box's state runs that box's own operation too, but only when the state really
// changes.
class TCallerIdTabs {
  public:
    explicit TCallerIdTabs(IClock& clock);

    TCallerIdTab Sdmf;
    TCallerIdTab Mdmf;
    TCallerIdTab Cwcid;
    bool VmwiOn = true;
    bool VmwiOff = false;
    bool TestMessage = false;
    bool RememberedOutOfArea = false;
    bool RememberedPrivate = false;
    bool RememberedLongDistance = false;

    TCallerIdTab& Tab(TTabId id);

    // A user click: the box toggles (or takes the given state), then its
    // operation runs.
    void Click(TTabId tab, TTabBox box);
    void SetChecked(TTabId tab, TTabBox box, bool checked);
    void ClickMisc(TMiscChoice choice);

    // Writes the clock into the date and time fields of every tab that uses it.
    void RefreshClock();
    void Timer1Timer() { RefreshClock(); }

    // Every SDMF, MDMF and CWCID generation copies its tab's three flags.
    void RememberGenerated(const TCallerIdTab& tab);

  private:
    bool& Box(TTabId tab, TTabBox box);
    void RunOperation(TTabId tab, TTabBox box);
    void ApplyCwcidDisableRule();
    void ApplyCwcidWithheldRule(bool outOfArea);
    void ApplyCwcidLongDistanceRule();
    void ApplyUseCurrentRule(TTabId tab);

    IClock& clock_;
};

}  // namespace ringlark
