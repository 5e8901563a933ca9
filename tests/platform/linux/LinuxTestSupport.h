#pragma once

#include "platform/linux/DesktopEntryCatalog.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tarnwell::testing {

// Writes a file, creating its folders; fails the test when it cannot.
void writeFile(const QString& path, const QByteArray& content);

// A temporary root holding an applications folder and a folder of programs.
class PreparedSystem : public ::testing::Test {
protected:
    void SetUp() override;
    // A stub program in the folder of programs, with a desktop entry "org.example.PROGRAM" running it.
    void addProgram(const QString& program, bool withEntry = true);
    void addEntry(const QString& id, const QByteArray& exec);
    // A catalog of the applications folder, once it has read it.
    std::shared_ptr<DesktopEntryCatalog> readCatalog() const;

    QTemporaryDir folder;
    QString root;
    QString applications;
    QString bin;
};

} // namespace tarnwell::testing
