// The standard error box as the engine reaches it: an error raised inside a
// dataset callback, which the engine cannot throw on to its caller, is shown
// to the operator instead of vanishing into stderr.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <stdexcept>
#include <string>
#include <vector>

#include "ErrorBox.h"
#include "sqlmem/cp1251.h"
#include "sqlmem/sqlmem.h"

using namespace orvalen;

namespace {

// Puts the box (or the sink another test set) back on leaving.
struct SinkGuard {
    explicit SinkGuard(ExceptionSink sink) : saved(SetExceptionSink(std::move(sink))) {}
    ~SinkGuard() { SetExceptionSink(std::move(saved)); }
    ExceptionSink saved;
};

std::string cp1251(const char* utf8) {
    std::string out;
    EXPECT_TRUE(sqlmem::cp1251::fromUtf8(utf8, out)) << utf8;
    return out;
}

}  // namespace

// The test program starts up as main() does (InitApplication), so this also
// shows that start-up installs the handler.
TEST(ErrorBox, AnErrorInsideAFilterHandlerReachesTheBox) {
    std::vector<std::string> shown;
    SinkGuard guard([&](const std::exception& e) { shown.push_back(e.what()); });
    const std::string message = cp1251("Фильтр не сработал");

    sqlmem::TSQLMemTable t{"Scratch"};
    t.TableName = "error_box_filter";
    t.addField("id", sqlmem::TFieldType::ftInteger);
    t.open();
    for (int id = 1; id <= 2; ++id) {
        t.append();
        t.field(0).setAsInteger(id);
        t.post();
    }
    t.OnFilterRecord = [&](sqlmem::TDataSet& ds, bool& accept) {
        accept = true;
        if (ds.field(0).asInteger() == 2) throw std::runtime_error(message);
    };
    t.setFiltered(true);
    EXPECT_EQ(t.recordCount(), 2) << "the failing record counts as accepted";
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.front(), message);
    t.close();
    t.deleteTable();
}

TEST(ErrorBox, TheBoxHasTheApplicationTitleTheErrorIconAndTheText) {
    SinkGuard guard(nullptr);
    struct {
        bool found = false;
        QString title, text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
    } seen;
    // The box is modal: look at it from inside its own event loop, then close it.
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box || !box->isVisible()) continue;
            seen = {true, box->windowTitle(), box->text(), box->icon()};
            box->accept();
        }
    });
    poll.start();
    sqlmem::handleApplicationException(std::runtime_error(cp1251("Ошибка чтения — №5")));
    poll.stop();

    ASSERT_TRUE(seen.found) << "no box was shown";
    EXPECT_EQ(seen.title, QStringLiteral("Orvalen"));
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    EXPECT_EQ(seen.text, QString::fromUtf8("Ошибка чтения — №5"));
}
