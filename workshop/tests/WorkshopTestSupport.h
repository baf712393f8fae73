#pragma once

#include <deque>
#include <optional>

#include "tests/support/TestSupport.h"
#include "workshop/Workshop.h"

namespace ringlark::test {

class TScriptedParameterDialog : public IParameterDialog {
  public:
    struct Shown {
        std::string Title;
        TParameterDialogInput Input;
    };
    std::deque<std::optional<TParameterDialogInput>> Answers;
    std::vector<Shown> Showings;
    bool Execute() override {
        Showings.push_back({Title, Input});
        if (Answers.empty()) {
            ADD_FAILURE() << "parameter dialog shown with no scripted answer";
            return false;
        }
        auto answer = Answers.front();
        Answers.pop_front();
        if (!answer) {
            return false;
        }
        Input = *answer;
        return true;
    }
};

struct TWorkshopFixture {
    TScriptedParameterDialog dialog;
    TScriptedFileDialog saveDialog;
    TScriptedFileDialog openDialog;
    TScriptedNotices notices;
    TWorkshop workshop{dialog, saveDialog, openDialog, notices};

    void Add(const std::string& type, const std::string& text) {
        dialog.Answers.push_back(TParameterDialogInput{type, text});
        workshop.WorkshopAdd();
    }
    std::vector<std::array<Bytes, 3>> Grid() const {
        std::vector<std::array<Bytes, 3>> out;
        for (int p = 1; p <= workshop.List.RowCount(); ++p) {
            out.push_back(
                {workshop.List.Cell(0, p), workshop.List.Cell(1, p), workshop.List.Cell(2, p)});
        }
        return out;
    }
};

}  // namespace ringlark::test
