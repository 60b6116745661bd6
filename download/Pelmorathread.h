// The download thread: sends a firmware file to a drive chunk by chunk with
// the vendor commands, moving the main window's progress bar and status text.
//
// It works on copies of the main window's fields.  It writes the window's
// ThreadResult, reaches the progress bar and the status text only through
// calls queued to the UI thread, and appends to the step log.  Its end
// handler (the main window's DownloadTerminate) runs on the UI thread, and
// the thread then frees itself.
#pragma once

#include <QPointer>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>

#include "download/DownloadTypes.h"
#include "vcl/Thread.h"

class TMainForm;

// The one buffer that holds the chunk being sent; only the thread uses it.
inline constexpr std::size_t kTransferBufferSize = 65536;
extern uint8_t TransferBuffer[kTransferBufferSize];

class TThreadDown : public vcl::TThread {
public:
    // Created suspended; Resume starts it.  UI thread.
    explicit TThreadDown(TMainForm* form);

    OptionFlags Options = 0;
    uint8_t DriveIndex = 0;
    std::string FileName;
    int FileSize = 0;
    int ChunkCount = 0;
    int ChunkKiB = 0;
    DownloadState Result{};
    // The main window's, for the step log's name.
    uint8_t BinArgument = 0;

protected:
    void Execute() override;

private:
    // Sends the chunks; the status of the last write (1 good).
    uint8_t SendChunks(std::FILE* file);
    uint8_t SendBootImage(std::FILE* file);
    void SetStatus(const char* korean, const char* english);
    void AddProgress(int points);
    void SetProgress(int position);
    void WriteLog(const char* code) const;

    QPointer<TMainForm> form_;                  // for the queued calls
    std::atomic<DownloadState>* threadResult_;  // the window's ThreadResult
    int progress_ = 0;  // the bar's position as this thread moved it
};
