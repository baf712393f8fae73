#include "app/CallerIdTabs.h"

namespace ringlark {

std::tm TSystemClock::LocalNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

TCallerIdTabs::TCallerIdTabs(IClock& clock) : clock_(clock) {}

TCallerIdTab& TCallerIdTabs::Tab(TTabId id) {
    switch (id) {
        case TTabId::Sdmf:
            return Sdmf;
        case TTabId::Mdmf:
            return Mdmf;
        case TTabId::Cwcid:
            break;
    }
    return Cwcid;
}

bool& TCallerIdTabs::Box(TTabId tab, TTabBox box) {
    TCallerIdTab& t = Tab(tab);
    switch (box) {
        case TTabBox::OutOfArea:
            return t.OutOfArea;
        case TTabBox::Private:
            return t.Private;
        case TTabBox::LongDistance:
            return t.LongDistance;
        case TTabBox::NumberDisabled:
            return t.NumberDisabled;
        case TTabBox::NameDisabled:
            return t.NameDisabled;
        case TTabBox::UseCurrent:
            break;
    }
    return t.UseCurrent;
}

void TCallerIdTabs::Click(TTabId tab, TTabBox box) {
    bool& state = Box(tab, box);
    state = !state;
    RunOperation(tab, box);
}

void TCallerIdTabs::SetChecked(TTabId tab, TTabBox box, bool checked) {
    bool& state = Box(tab, box);
    if (state != checked) {
        state = checked;
        RunOperation(tab, box);
    }
}

void TCallerIdTabs::RunOperation(TTabId tab, TTabBox box) {
    if (box == TTabBox::UseCurrent) {
        ApplyUseCurrentRule(tab);
        return;
    }
    if (box == TTabBox::NumberDisabled || box == TTabBox::NameDisabled) {
        if (tab != TTabId::Sdmf) {
            ApplyCwcidDisableRule();  // shared by all four Disable boxes
        }
        return;
    }
    const TCallerIdTab& t = Tab(tab);
    switch (tab) {
        case TTabId::Sdmf: {
            // CheckBox9Click, CheckBox10Click, CheckBox11Click: one of three
            const bool checked = Box(tab, box);
            if (checked) {
                for (TTabBox other :
                     {TTabBox::OutOfArea, TTabBox::Private, TTabBox::LongDistance}) {
                    if (other != box) {
                        SetChecked(tab, other, false);
                    }
                }
            }
            break;
        }
        case TTabId::Mdmf:
            // CheckBox5Click, CheckBox6Click; LD Indicator has no operation
            if (box == TTabBox::OutOfArea && t.OutOfArea) {
                SetChecked(tab, TTabBox::Private, false);
            } else if (box == TTabBox::Private && t.Private) {
                SetChecked(tab, TTabBox::OutOfArea, false);
            }
            break;
        case TTabId::Cwcid:
            if (box == TTabBox::LongDistance) {
                ApplyCwcidLongDistanceRule();
            } else {
                ApplyCwcidWithheldRule(box == TTabBox::OutOfArea);
            }
            break;
    }
}

// CheckBox3Click (Out of Area) and CheckBox4Click (Private), the same five steps
// with the roles exchanged.
void TCallerIdTabs::ApplyCwcidWithheldRule(bool outOfArea) {
    bool& remembered = outOfArea ? RememberedOutOfArea : RememberedPrivate;
    bool& rememberedOther = outOfArea ? RememberedPrivate : RememberedOutOfArea;
    const TTabBox other = outOfArea ? TTabBox::Private : TTabBox::OutOfArea;
    remembered = outOfArea ? Cwcid.OutOfArea : Cwcid.Private;
    if (remembered) {
        Cwcid.NumberBoxEnabled = false;
        rememberedOther = false;
        SetChecked(TTabId::Cwcid, other, false);
    }
    if (!RememberedPrivate && !RememberedOutOfArea) {
        Cwcid.NumberBoxEnabled = true;
    }
    if (remembered && Cwcid.NameDisabled) {
        SetChecked(TTabId::Cwcid, TTabBox::LongDistance, false);
    }
    RememberedLongDistance = Cwcid.LongDistance;
}

void TCallerIdTabs::ApplyCwcidLongDistanceRule() {
    RememberedLongDistance = Cwcid.LongDistance;
    if (Cwcid.LongDistance && Cwcid.NameDisabled) {
        SetChecked(TTabId::Cwcid, TTabBox::OutOfArea, false);
        RememberedOutOfArea = false;
        SetChecked(TTabId::Cwcid, TTabBox::Private, false);
        RememberedPrivate = false;
    }
}

// Shared by all four Disable boxes; it always looks at the CWCID name box.
void TCallerIdTabs::ApplyCwcidDisableRule() {
    if (RememberedLongDistance && (RememberedPrivate || RememberedOutOfArea)) {
        RememberedLongDistance = false;
        SetChecked(TTabId::Cwcid, TTabBox::LongDistance, false);
    }
    Cwcid.NameBoxEnabled = !Cwcid.NameDisabled;
    if (Cwcid.NameDisabled) {
        SetChecked(TTabId::Mdmf, TTabBox::OutOfArea, false);
    }
}

void TCallerIdTabs::ApplyUseCurrentRule(TTabId tab) {
    RefreshClock();
    TCallerIdTab& t = Tab(tab);
    t.DateTimeEnabled = !t.UseCurrent;
}

void TCallerIdTabs::ClickMisc(TMiscChoice choice) {
    // A click on a radio button checks it; unchecking the others runs nothing.
    VmwiOn = choice == TMiscChoice::VmwiOn;
    VmwiOff = choice == TMiscChoice::VmwiOff;
    TestMessage = choice == TMiscChoice::TestMessage;
}

void TCallerIdTabs::RefreshClock() {
    const TClockTexts now = ClockTexts(clock_.LocalNow());
    for (TCallerIdTab* tab : {&Sdmf, &Mdmf, &Cwcid}) {
        if (tab->UseCurrent) {
            tab->DateText = now.Date;
            tab->TimeText = now.Time;
        }
    }
}

void TCallerIdTabs::RememberGenerated(const TCallerIdTab& tab) {
    RememberedOutOfArea = tab.OutOfArea;
    RememberedPrivate = tab.Private;
    RememberedLongDistance = tab.LongDistance;
}

}  // namespace ringlark
