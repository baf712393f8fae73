#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Bytes.h"
#include "core/Services.h"
#include "generation/MessageBuilder.h"
#include "generation/workflow/CallerIdTab.h"

namespace ringlark {

// The workshop's parameter list. Cell texts are stored by (column, position);
// positions that leave the list when it shrinks keep their texts and show them
// again when it grows, unless they are overwritten.
class TWorkshopList {
  public:
    static constexpr int SeqColumn = 0;
    static constexpr int ParameterColumn = 1;
    static constexpr int MessageColumn = 2;

    int RowCount() const { return rowCount_; }
    void SetRowCount(int rows) { rowCount_ = rows < 0 ? 0 : rows; }
    const Bytes& Cell(int column, int position) const;
    void SetCell(int column, int position, Bytes text);
    void BlankRow(int position);
    // R at most 1 and the three cells of position 1 empty.
    bool IsEmpty() const;
    // What the generation driver reads: every position 1 to R, Seq. left out.
    std::vector<TWorkshopRow> Rows() const;

  private:
    std::vector<std::array<Bytes, 3>> cells_;
    int rowCount_ = 1;
};

struct TParameterDialogInput {
    Bytes ParameterType;
    Bytes MessageText;
};

// TFormEditParameter: modal, keeps its fields between showings.
class IParameterDialog {
  public:
    virtual ~IParameterDialog() = default;
    std::string Title = "Edit Custom MDMF Parameter...";
    TParameterDialogInput Input;
    // true when the user confirms with OK
    virtual bool Execute() = 0;
};

inline constexpr std::array<std::string_view, 9> ParameterTypeItems = {
    "$01 - Date/Time",
    "$02 - Calling Number",
    "$03 - Directory Dialable Number",
    "$04 - Number Not Transmitted",
    "$06 - Call Qualifier",
    "$07 - Calling Name ",
    "$08 - Name Not Transmitted",
    "$09 - Call Type",
    "$0B - VMWI"};

struct TWorkshopCommands {
    bool Del = false;
    bool Edit = false;
    bool Up = false;
    bool Down = false;
    bool operator==(const TWorkshopCommands&) const = default;
};

// The text read the way the program's edit fields read integers; 0 for any text
// that is not one.
int32_t DecimalCodeValue(std::string_view text);
// "$" and the value in upper-case hex, at least two digits; negative values as
// their 32-bit two's complement ("$FFFFFFFF").
std::string CodeText(uint32_t value);
// The code a dialog's Parameter Type gives: cut before the first space, then
// hexadecimal after "$", otherwise the standard integer conversion.
std::string CodeTextFromParameterType(std::string_view parameterType);

// The "MDMF Workshop" tab: the list, its commands, the script file and the
// transfer from the caller-ID tabs.
class TWorkshop {
  public:
    static constexpr std::string_view SaveTitle = "Save MDMF Workshop File";
    static constexpr std::string_view OpenTitle = "Open MDMF Workshop File";
    static constexpr std::string_view DefaultExt = ".CID";
    static constexpr std::string_view Filter =
        "MDMF Workshop Files (*.CID)|*.CID|All Files (*.*)|*.*";

    TWorkshop(IParameterDialog& dialog, IFileDialog& saveDialog, IFileDialog& openDialog,
              INotices& notices);

    TWorkshopList List;
    TSignalling Signalling = TSignalling::OnHook;

    int CurrentRow() const { return currentRow_; }
    int CurrentColumn() const { return currentColumn_; }
    const TWorkshopCommands& Commands() const { return commands_; }

    // Refreshes the command states; true when the list is empty. Raises R to 1.
    bool StringGridZero();

    void WorkshopAdd();
    void WorkshopEdit();
    void WorkshopDelete();
    void WorkshopMoveUp();
    void WorkshopMoveDown();
    // A click on a cell of the list (positions 1 to R, columns 0 to 2).
    void SelectCell(int position, int column);
    void EditSelectedRow();
    // The right button selects the cell under the pointer before the pop-up menu;
    // where there is no cell the current cell stays.
    void SelectCellUnderPointer(int position, int column);
    // The Enter key on the Parameter column turns a typed number into "$hh".
    void PressKey(char key);
    // Text typed in place into column 1 or 2.
    void EditCell(int position, int column, Bytes text);

    // The list's handlers, by the names its control gives them.
    void StringGrid1Click(int position, int column) { SelectCell(position, column); }
    void StringGrid1DblClick() { EditSelectedRow(); }
    void StringGrid1MouseDown(int position, int column) {
        SelectCellUnderPointer(position, column);
    }
    void StringGrid1KeyPress(char key) { PressKey(key); }

    // Returns true when the list was written.
    bool WorkshopSave();
    void WriteWorkshopFile(const std::string& path);
    void WorkshopLoad();

    void TransferCIDtoWorkshop(const TCallerIdTab& tab, TSignalling signalling);
    // Transfer, then save. When the save is cancelled, the list and signalling
    // choice are restored, so that an unsaved list is not lost. Returns whether
    // the script was written.
    bool SaveWorkshopScriptFrom(const TCallerIdTab& tab, TSignalling signalling);

  private:
    void SetCurrent(int position, int column);
    void Move(int target);
    void ReplaceWithLines(const std::vector<Bytes>& lines);

    IParameterDialog& dialog_;
    IFileDialog& saveDialog_;
    IFileDialog& openDialog_;
    INotices& notices_;
    int currentRow_ = 1;
    int currentColumn_ = 1;
    TWorkshopCommands commands_;
};

}  // namespace ringlark
