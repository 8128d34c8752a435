#include "views/FileTypeEditor.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>

#include "app/app_fixture.h"
#include "views/CommentsEditor.h"
#include "views/Modal.h"

using namespace qrmt;
using namespace qrmt::test;

namespace {

class EditorTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    g = std::make_unique<TqrmtGlobal>();
    editor = std::make_unique<TfrmFileTypeEditor>();
    editor->show();
  }
  void TearDown() override {
    RunModalHook = nullptr;
    editor.reset();
    g.reset();
    AppTest::TearDown();
  }
  void Press(const char* button) { editor->findChild<QPushButton*>(button)->click(); }
  std::vector<std::string> Told() const {
    std::vector<std::string> t;
    for (const auto& s : Dialogs.Shown) t.push_back(s.Text);
    return t;
  }
  static TComment Comment(uint8_t type, const std::string& start, const std::string& stop, uint16_t col = 0) {
    TComment c;
    c.CommentType = type;
    c.StartSymbol = start;
    c.StopSymbol = stop;
    c.FixedCol = col;
    return c;
  }
  std::unique_ptr<TqrmtGlobal> g;
  std::unique_ptr<TfrmFileTypeEditor> editor;
};

}  // namespace

TEST_F(EditorTest, OkValidatesInOrderAndKeepsTheDialogOpen) {
  Press("btnOk");
  EXPECT_EQ(Told(), std::vector<std::string>{"File type title not defined"});
  EXPECT_EQ(Dialogs.Shown[0].Icon, TMsgIcon::Warning);
  EXPECT_TRUE(editor->isVisible());
  editor->SetTitle(" ");  // blanks count as a title
  Press("btnOk");
  EXPECT_EQ(Told().back(), "Extensions not defined");
  editor->AddMask("*.x", true);
  editor->AddMask("*.x", true);  // duplicates are accepted
  editor->AddComment(Comment(0, "//", ""));
  editor->AddComment(Comment(1, "/*", ""));
  editor->AddComment(Comment(7, "", ""));
  Press("btnOk");
  EXPECT_EQ(Told().back(), "Start or Stop symbol not defined");
  EXPECT_EQ(Dialogs.Shown.back().Icon, TMsgIcon::Error);
  EXPECT_EQ(editor->CommentGrid()->currentRow(), 1);
  EXPECT_TRUE(editor->isVisible());
  // Cancel closes without a word, whatever the rows.
  const size_t told = Dialogs.Shown.size();
  Press("btnCancel");
  EXPECT_EQ(Dialogs.Shown.size(), told);
  EXPECT_FALSE(editor->isVisible());
  EXPECT_EQ(editor->result(), QDialog::Rejected);
}

TEST_F(EditorTest, MaskRowsThroughButtonsAndKeys) {
  QListWidget* masks = editor->MaskList();
  Press("btnRemoveExtension");
  EXPECT_EQ(Told().back(), "Nothing selected");
  Dialogs.InputAnswers = {std::string("*.pas"), std::string(""), std::nullopt};
  QTest::keyClick(masks, Qt::Key_Insert);
  Press("btnAddExtension");  // empty answer: nothing
  Press("btnAddExtension");  // cancelled
  ASSERT_EQ(masks->count(), 1);
  EXPECT_EQ(Dialogs.Inputs[0].Caption, "New Extension");
  EXPECT_EQ(Dialogs.Inputs[0].Prompt, "Type new extension like *.pas");
  EXPECT_EQ(masks->item(0)->checkState(), Qt::Checked);
  masks->item(0)->setCheckState(Qt::Unchecked);
  masks->setCurrentRow(0);
  Dialogs.InputAnswers = {std::string("*.pp")};
  QTest::keyClick(masks, Qt::Key_Return);
  EXPECT_EQ(Dialogs.Inputs.back().Caption, "Edit Extension");
  EXPECT_EQ(Dialogs.Inputs.back().Value, "*.pas");
  EXPECT_EQ(editor->Masks(), (std::vector<std::pair<std::string, bool>>{{"*.pp", false}}));
  editor->AddMask("*.b", true);
  masks->setCurrentRow(1);
  QTest::keyClick(masks, Qt::Key_Delete);
  ASSERT_EQ(masks->count(), 1);
  EXPECT_EQ(masks->currentRow(), 0);  // the new last row
}

TEST_F(EditorTest, CommentRowsThroughTheCommentDialogAndInPlace) {
  // Add through the dialog; its own check refuses an empty start first.
  RunModalHook = [](QDialog& d) {
    auto& c = dynamic_cast<TfrmCommentsEditor&>(d);
    EXPECT_EQ(c.windowTitle(), "Edit comment");
    c.findChild<QComboBox*>("commentType")->setCurrentIndex(1);
    c.findChild<QLineEdit*>("commentStart")->setText("(*");
    c.findChild<QPushButton*>("btnOk")->click();  // no end yet: refused
    EXPECT_TRUE(c.result() != QDialog::Accepted);
    c.findChild<QLineEdit*>("commentEnd")->setText("*)");
    c.findChild<QSpinBox*>("commentFixedColumn")->setValue(250);  // kept within 0..100
    c.findChild<QPushButton*>("btnOk")->click();
    return c.result();
  };
  Press("btnAddComment");
  EXPECT_EQ(Told(), std::vector<std::string>{"Start or Stop symbol not defined"});
  ASSERT_EQ(editor->Comments().size(), 1u);
  const TComment& c = editor->Comments()[0];
  EXPECT_EQ(c.CommentType, 1);
  EXPECT_EQ(c.StartSymbol, "(*");
  EXPECT_EQ(c.StopSymbol, "*)");
  EXPECT_EQ(c.FixedCol, 100);
  QTableWidget* grid = editor->CommentGrid();
  EXPECT_EQ(grid->item(0, 0)->text(), "multistring");
  // In place: -1 in the fixed column is stored in 16 bits.
  grid->item(0, 3)->setText("-1");
  EXPECT_EQ(editor->Comments()[0].FixedCol, 65535);
  EXPECT_EQ(grid->item(0, 3)->text(), "65535");
  grid->item(0, 3)->setText("abc");
  EXPECT_EQ(editor->Comments()[0].FixedCol, 0);
  grid->item(0, 0)->setText("other");  // not a type name: unchanged
  EXPECT_EQ(editor->Comments()[0].CommentType, 1);
  EXPECT_EQ(grid->item(0, 0)->text(), "multistring");
  grid->item(0, 1)->setText("{");
  EXPECT_EQ(editor->Comments()[0].StartSymbol, "{");
  // Remove asks first.
  grid->selectRow(0);
  Dialogs.Answers = {mrNo};
  QTest::keyClick(grid, Qt::Key_Delete);
  EXPECT_EQ(editor->Comments().size(), 1u);
  Dialogs.Answers = {mrYes};
  Press("btnRemoveComment");
  EXPECT_TRUE(editor->Comments().empty());
  EXPECT_EQ(grid->rowCount(), 0);
}

TEST_F(EditorTest, SingleFormatFileRoundTripAndOverwriteQuestion) {
  // An invalid format is not saved: the message, and no file dialog.
  Press("Button1");
  EXPECT_EQ(Told(), std::vector<std::string>{"File type title not defined"});
  EXPECT_TRUE(Dialogs.FileCaptions.empty());
  editor->SetTitle("Tcl");
  editor->AddMask("*.tcl", true);
  editor->AddMask("*.tk", false);
  editor->AddComment(Comment(0, "#", "", 3));
  editor->AddComment(Comment(1, "if 0 {", "}"));
  Dialogs.Files = {Root("saved.txt")};
  Press("Button1");
  const std::string file = Root("saved.qrmtff");
  const std::string text = Read(file);
  ASSERT_FALSE(text.empty());
  EXPECT_NE(text.back(), '\n');
  EXPECT_EQ(text.rfind("\xEF\xBB\xBF", 0), std::string::npos);
  TFileType back;
  back.ReadFromText(text);
  EXPECT_TRUE(back.Enabled);
  // Saving over it asks; No leaves the file as it was.
  Dialogs.Files = {file};
  Dialogs.Answers = {mrNo};
  editor->SetTitle("Changed");
  Press("Button1");
  EXPECT_EQ(Told().back(), "File is exists. Overwrite them?");
  EXPECT_EQ(Read(file), text);
  // Loaded into an empty editor: the same rows.
  TfrmFileTypeEditor fresh;
  Dialogs.Files = {file};
  fresh.loadFileFormatExecute();
  EXPECT_EQ(fresh.Title(), "Tcl");
  EXPECT_EQ(fresh.Masks(), (std::vector<std::pair<std::string, bool>>{{"*.tcl", true}, {"*.tk", false}}));
  ASSERT_EQ(fresh.Comments().size(), 2u);
  EXPECT_EQ(fresh.Comments()[0].StartSymbol, "#");
  EXPECT_EQ(fresh.Comments()[0].FixedCol, 3);
  EXPECT_EQ(fresh.Comments()[1].StopSymbol, "}");
  // A file that cannot be read: told, rows unchanged.
  Dialogs.Files = {Root("none.qrmtff")};
  fresh.loadFileFormatExecute();
  EXPECT_NE(Told().back().find("none.qrmtff"), std::string::npos);
  EXPECT_EQ(fresh.Title(), "Tcl");
}
