#include "workshop/Workshop.h"

#include <cstdio>

#include "core/FileWriting.h"
#include "core/IntegerText.h"
#include "workshop/WorkshopScript.h"

namespace ringlark {

namespace {
const Bytes kNoText;
}

const Bytes& TWorkshopList::Cell(int column, int position) const {
    if (position < 1 || static_cast<std::size_t>(position) > cells_.size() || column < 0 ||
        column > 2) {
        return kNoText;
    }
    return cells_[static_cast<std::size_t>(position - 1)][static_cast<std::size_t>(column)];
}

void TWorkshopList::SetCell(int column, int position, Bytes text) {
    if (position < 1 || column < 0 || column > 2) {
        return;
    }
    if (static_cast<std::size_t>(position) > cells_.size()) {
        cells_.resize(static_cast<std::size_t>(position));
    }
    cells_[static_cast<std::size_t>(position - 1)][static_cast<std::size_t>(column)] =
        std::move(text);
}

void TWorkshopList::BlankRow(int position) {
    for (int column = 0; column < 3; ++column) {
        SetCell(column, position, "");
    }
}

bool TWorkshopList::IsEmpty() const {
    return rowCount_ <= 1 && Cell(SeqColumn, 1).empty() && Cell(ParameterColumn, 1).empty() &&
           Cell(MessageColumn, 1).empty();
}

std::vector<TWorkshopRow> TWorkshopList::Rows() const {
    std::vector<TWorkshopRow> rows;
    rows.reserve(static_cast<std::size_t>(rowCount_));
    for (int position = 1; position <= rowCount_; ++position) {
        rows.push_back({Cell(ParameterColumn, position), Cell(MessageColumn, position)});
    }
    return rows;
}

int32_t DecimalCodeValue(std::string_view text) {
    return ParseStandardInteger(text).value_or(0);
}

std::string CodeText(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "$%02X", value);
    return text;
}

std::string CodeTextFromParameterType(std::string_view parameterType) {
    const std::string_view t = parameterType.substr(0, parameterType.find(' '));
    if (t.empty()) {
        return CodeText(0);
    }
    if (t.front() == '$') {
        return CodeText(HexTextValue(t));
    }
    return CodeText(static_cast<uint32_t>(DecimalCodeValue(t)));
}

TWorkshop::TWorkshop(IParameterDialog& dialog, IFileDialog& saveDialog, IFileDialog& openDialog,
                     INotices& notices)
    : dialog_(dialog), saveDialog_(saveDialog), openDialog_(openDialog), notices_(notices) {
    StringGridZero();
}

bool TWorkshop::StringGridZero() {
    const bool empty = List.IsEmpty();
    if (List.RowCount() < 1) {
        List.SetRowCount(1);
    }
    if (currentRow_ > List.RowCount()) {
        currentRow_ = List.RowCount();
    }
    if (empty) {
        commands_ = {};
    } else {
        commands_ = {true, true, currentRow_ > 1, currentRow_ < List.RowCount()};
    }
    return empty;
}

void TWorkshop::SetCurrent(int position, int column) {
    if (position >= 1 && position <= List.RowCount() && column >= 0 && column <= 2) {
        currentRow_ = position;
        currentColumn_ = column;
    }
    StringGridZero();
}

void TWorkshop::WorkshopAdd() {
    dialog_.Input = {};
    dialog_.Title = "Enter Parameter and Text...";
    if (dialog_.Execute()) {
        int position = 1;
        if (!List.IsEmpty()) {
            List.SetRowCount(List.RowCount() + 1);
            position = List.RowCount();
        }
        List.SetCell(TWorkshopList::SeqColumn, position, std::to_string(List.RowCount()));
        List.SetCell(TWorkshopList::ParameterColumn, position,
                     CodeTextFromParameterType(dialog_.Input.ParameterType));
        List.SetCell(TWorkshopList::MessageColumn, position, dialog_.Input.MessageText);
    }
    StringGridZero();
}

void TWorkshop::WorkshopEdit() {
    const int row = currentRow_;
    dialog_.Input = {List.Cell(TWorkshopList::ParameterColumn, row),
                     List.Cell(TWorkshopList::MessageColumn, row)};
    dialog_.Title = "Edit MDMF Parameter...";
    if (!dialog_.Execute()) {
        return;
    }
    List.SetCell(TWorkshopList::SeqColumn, row, std::to_string(row));
    List.SetCell(TWorkshopList::ParameterColumn, row,
                 CodeTextFromParameterType(dialog_.Input.ParameterType));
    List.SetCell(TWorkshopList::MessageColumn, row, dialog_.Input.MessageText);
    StringGridZero();
}

void TWorkshop::EditSelectedRow() {
    if (!StringGridZero()) {
        WorkshopEdit();
    }
}

void TWorkshop::WorkshopDelete() {
    List.BlankRow(currentRow_);
    if (StringGridZero()) {
        return;
    }
    const int rows = List.RowCount();
    for (int q = currentRow_ + 1; q <= rows; ++q) {
        for (int column = 0; column < 3; ++column) {
            List.SetCell(column, q - 1, List.Cell(column, q));
        }
    }
    List.SetRowCount(rows - 1);
    StringGridZero();
}

void TWorkshop::Move(int target) {
    if (target < 1 || target > List.RowCount()) {
        return;  // never outside the list
    }
    for (int column = 0; column < 3; ++column) {
        Bytes moving = List.Cell(column, currentRow_);
        List.SetCell(column, currentRow_, List.Cell(column, target));
        List.SetCell(column, target, std::move(moving));
    }
    currentRow_ = target;
    StringGridZero();
}

void TWorkshop::WorkshopMoveUp() {
    Move(currentRow_ - 1);
}
void TWorkshop::WorkshopMoveDown() {
    Move(currentRow_ + 1);
}

void TWorkshop::SelectCell(int position, int column) {
    SetCurrent(position, column);
}

void TWorkshop::SelectCellUnderPointer(int position, int column) {
    SetCurrent(position, column);
}

void TWorkshop::PressKey(char key) {
    if (key != '\r' || currentColumn_ != TWorkshopList::ParameterColumn) {
        return;
    }
    const Bytes& text = List.Cell(TWorkshopList::ParameterColumn, currentRow_);
    if (text.empty() || text.front() == '$') {
        return;
    }
    const auto value = static_cast<uint32_t>(DecimalCodeValue(text)) & 0xFF;
    List.SetCell(TWorkshopList::ParameterColumn, currentRow_, CodeText(value));
}

void TWorkshop::EditCell(int position, int column, Bytes text) {
    if (column == TWorkshopList::ParameterColumn || column == TWorkshopList::MessageColumn) {
        if (position >= 1 && position <= List.RowCount()) {
            List.SetCell(column, position, std::move(text));
            StringGridZero();
        }
    }
}

bool TWorkshop::WorkshopSave() {
    if (const auto row = FirstRowThatCannotBeStored(List.Rows())) {
        const std::string question =
            "Row " + std::to_string(*row) +
            " holds a line break or a zero byte, which a workshop file cannot keep: loading the "
            "file will split or cut the row there.  Save anyway?";
        if (notices_.AskYesNoCancel(question) != TDialogAnswer::Yes) {
            return false;
        }
    }
    saveDialog_.Title = SaveTitle;
    saveDialog_.DefaultExt = DefaultExt;
    saveDialog_.Filter = Filter;
    while (saveDialog_.Execute()) {
        const std::string path = saveDialog_.FileName;
        if (!FileExists(path)) {
            WriteWorkshopFile(path);
            return true;
        }
        switch (notices_.AskYesNoCancel("File " + path + " exists.  Replace?")) {
            case TDialogAnswer::Yes:
                WriteWorkshopFile(path);
                return true;
            case TDialogAnswer::Cancel:
                return false;
            case TDialogAnswer::No:
                break;  // show the dialog again
        }
    }
    return false;
}

void TWorkshop::WriteWorkshopFile(const std::string& path) {
    WriteFileReplacing(path, FormatWorkshopScript(List.Rows()));
}

void TWorkshop::ReplaceWithLines(const std::vector<Bytes>& lines) {
    List.SetRowCount(static_cast<int>(lines.size()));
    for (std::size_t k = 0; k < lines.size(); ++k) {
        const TWorkshopRow row = SplitScriptLine(lines[k]);
        const int position = static_cast<int>(k + 1);
        List.SetCell(TWorkshopList::ParameterColumn, position, row.TypeText);
        List.SetCell(TWorkshopList::MessageColumn, position, row.ValueText);
    }
    if (lines.empty()) {
        // An empty file gives the empty list, not the texts row 1 held before.
        List.BlankRow(1);
        List.SetRowCount(1);
    }
}

void TWorkshop::WorkshopLoad() {
    openDialog_.Title = OpenTitle;
    openDialog_.DefaultExt = DefaultExt;
    openDialog_.Filter = Filter;
    if (openDialog_.Execute()) {
        const Bytes content = ReadWorkshopScript(openDialog_.FileName);
        ReplaceWithLines(SplitScriptLines(content));
    }
    StringGridZero();
}

void TWorkshop::TransferCIDtoWorkshop(const TCallerIdTab& tab, TSignalling signalling) {
    ReplaceWithLines(TransferLines(tab));
    Signalling = signalling;
    StringGridZero();
}

bool TWorkshop::SaveWorkshopScriptFrom(const TCallerIdTab& tab, TSignalling signalling) {
    const TWorkshopList savedList = List;
    const TSignalling savedSignalling = Signalling;
    const int savedRow = currentRow_;
    const int savedColumn = currentColumn_;
    const auto restore = [&] {
        List = savedList;
        Signalling = savedSignalling;
        currentRow_ = savedRow;
        currentColumn_ = savedColumn;
        StringGridZero();
    };
    TransferCIDtoWorkshop(tab, signalling);
    bool written = false;
    try {
        written = WorkshopSave();
    } catch (...) {
        restore();  // a failed save loses nothing either
        throw;
    }
    if (!written) {
        restore();
    }
    return written;
}

}  // namespace ringlark
