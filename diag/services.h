#pragma once

namespace qarn3 {

class DebugLog;
class DialogService;
class FileStore;

// What the record and file routines use: files, boxes and the debug line sink.
struct Services {
    FileStore& files;
    DialogService& dialogs;
    DebugLog& log;
};

} // namespace qarn3
