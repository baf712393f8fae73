#include "generation/workflow/TabRequest.h"

namespace ringlark {

TCidRequest RequestFromTab(const TCallerIdTab& tab, TCallerIdTabKind kind) {
    const bool sdmf = kind == TCallerIdTabKind::Sdmf;
    TCidRequest request;
    request.Kind = sdmf ? TMessageKind::Sdmf : TMessageKind::Mdmf;
    request.NumberText = tab.NumberText;
    request.NameText = sdmf ? Bytes() : tab.NameText;
    request.DateText = tab.DateText;
    request.TimeText = tab.TimeText;
    request.OutOfArea = tab.OutOfArea;
    request.Private = tab.Private;
    request.LongDistance = tab.LongDistance;
    request.NumberDisabled = !sdmf && tab.NumberDisabled;
    request.NameDisabled = !sdmf && tab.NameDisabled;
    request.Signalling =
        kind == TCallerIdTabKind::Cwcid ? TSignalling::CallWaiting : TSignalling::OnHook;
    return request;
}

}  // namespace ringlark
