#pragma once

#include <QStringList>

// Exit codes shared by every subcommand.
enum CliExit { CliOk = 0, CliFailed = 1, CliBadUsage = 2 };

// Each subcommand gets its own arguments, the program name first ("kavo-cli show"), and
// returns one of the exit codes above. Messages for people go to standard error.
int RunShow(const QStringList& args);
int RunFrames(const QStringList& args);
int RunPorts(const QStringList& args);
int RunDoctor(const QStringList& args);
int RunDownload(const QStringList& args);
int RunSimulate(const QStringList& args);
int RunLog(const QStringList& args);
int RunPrint(const QStringList& args);
