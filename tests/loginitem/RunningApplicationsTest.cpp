#include "LoginTestFiles.h"
#include "loginitem/RunningApplications.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>

namespace {

using ostrel::RunningApplication;
using ostrel::RunningApplications;
using namespace ostrel::test;

std::optional<RunningApplication> find(qint64 pid) {
  for (const RunningApplication& app : RunningApplications().list())
    if (app.pid == pid) return app;
  return std::nullopt;
}

TEST(RunningApplications, ListsTheProcessesOfThisSessionByName) {
  ASSERT_TRUE(qEnvironmentVariableIsSet("XDG_RUNTIME_DIR")) << "run this test through ctest";
  QTemporaryDir tree;
  const QString longName = "ostrel-with-a-long-name";
  copyExecutable("/bin/sleep", tree.filePath("ostrel"));
  copyExecutable("/bin/sleep", tree.filePath(longName));
  writeExecutable(tree.filePath("ostrel-script"), "#!/bin/sh\nsleep 60\nexit 0\n");

  const QString ours = qEnvironmentVariable("XDG_RUNTIME_DIR");
  const struct {
    const char* label;
    QString program;
    QStringList args;
    std::optional<QString> runtimeDir;  // nothing: unset
    bool listed;
    QString matching;
  } cases[] = {
      {"same session", tree.filePath("ostrel"), {"60"}, ours, true, "ostrel"},
      {"name longer than the kernel's command", tree.filePath(longName), {"60"}, ours, true, longName},
      {"script, known by its command", tree.filePath("ostrel-script"), {}, ours, true, "ostrel-script"},
      {"other session", tree.filePath("ostrel"), {"60"}, QString("/run/elsewhere"), false, ""},
      {"no session", tree.filePath("ostrel"), {"60"}, std::nullopt, false, ""},
  };
  std::vector<std::unique_ptr<QProcess>> processes;
  for (const auto& c : cases) {
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (c.runtimeDir) env.insert("XDG_RUNTIME_DIR", *c.runtimeDir);
    else env.remove("XDG_RUNTIME_DIR");
    process->setProcessEnvironment(env);
    process->start(c.program, c.args);
    ASSERT_TRUE(process->waitForStarted()) << c.label;
    processes.push_back(std::move(process));
  }
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    const std::optional<RunningApplication> app = find(processes[i]->processId());
    EXPECT_EQ(app.has_value(), c.listed) << c.label;
    if (!app) continue;
    EXPECT_TRUE(app->matches(c.matching)) << c.label << ": name " << app->name.toStdString() << ", command "
                                          << app->command.toStdString();
    EXPECT_FALSE(app->matches("ostrelkick")) << c.label;
    EXPECT_FALSE(app->matches("")) << c.label;
  }

  const qint64 gone = processes[0]->processId();
  processes[0]->kill();
  processes[0]->waitForFinished();
  EXPECT_FALSE(find(gone).has_value()) << "an ended process is not listed";
  for (auto& process : processes) {
    process->kill();
    process->waitForFinished();
  }
}

// What a process looks like in /proc while it ends: on current kernels its
// environment cannot be opened once its address space is gone (ESRCH), nor its
// exe read, yet its command and state still read as alive until it is a zombie.
TEST(RunningApplications, AProcessThatIsExitingIsNotRunning) {
  QTemporaryDir proc;
  ASSERT_TRUE(QDir(proc.path()).mkpath("self"));
  const struct {
    const char* pid;
    const char* stat;
    bool listed;
  } cases[] = {
      {"4242", "4242 (ostrel) S 1 4242 4242 0 -1 4194372 0 0", false},  // PF_EXITING set
      {"4243", "4243 (ostrel) R 1 4243 4243 0 -1 4194368 0 0", true},   // unreadable, alive: counted
      {"4244", "4244 (a) S (ostrel) S 1 4244 4244 0 -1 4194372 0 0", false},
      {"4245", "4245 (ostrel) Z 1 4245 4245 0 -1 4194368 0 0", false},
  };
  for (const auto& c : cases) {
    const QString dir = proc.filePath(c.pid);
    ASSERT_TRUE(QDir().mkpath(dir));
    writeFile(dir + "/stat", c.stat);
    writeFile(dir + "/comm", "ostrel\n");
  }
  const std::vector<RunningApplication> listed = RunningApplications(proc.path()).list();
  for (const auto& c : cases) {
    const qint64 pid = QByteArray(c.pid).toLongLong();
    const bool found =
        std::any_of(listed.begin(), listed.end(), [pid](const RunningApplication& app) { return app.pid == pid; });
    EXPECT_EQ(found, c.listed) << c.stat;
  }
}

TEST(RunningApplications, ListsItself) {
  const std::optional<RunningApplication> self = find(QCoreApplication::applicationPid());
  ASSERT_TRUE(self.has_value());
  EXPECT_EQ(self->name, QFileInfo(QCoreApplication::applicationFilePath()).fileName());
}

}  // namespace
