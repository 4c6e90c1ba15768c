#include <QDir>

#include "tests/app/app_fixture.h"
#include "widgets/image_control.h"

namespace ornavex {
namespace {

// A document folder longer than a settings read hands back, taken at start-up
// and stored into, while the settings file keeps it as it was.
TEST_F(AppFixture, LongDocumentFolderWorksForStoring) {
    QString folder = temp.path() + "/";
    while (folder.size() < 312) folder += QString(50, u'n') + '/';
    folder = folder.left(311) + '/';
    ASSERT_TRUE(QDir().mkpath(folder));
    WriteIniValue(settings, "Default", "Ordner", folder);
    WriteIniValue(settings, "Default", "Tips", "4");  // no confirmation box any more
    const QByteArray before = readFile(settings);

    app.start();
    EXPECT_EQ(root.folder(), folder);
    EXPECT_EQ(readFile(settings), before);

    root.setScannerFlag("1");
    root.Picture2()->setPicture(page());
    root.setFileName("seite.jpg");
    app.TwainCopy();
    ASSERT_EQ(fakes.pageWriter.writes.size(), 1u);
    EXPECT_EQ(fakes.pageWriter.writes[0].path, folder + "seite.jpg");
    EXPECT_EQ(ReadWholeIniValue(settings, "Default", "Ordner"), folder);
}

}  // namespace
}  // namespace ornavex
