#include "installer/FailureList.h"

#include <cstdio>

#include "support/Gbk.h"

namespace {

const char kMoreText[] = "    ...";
const char kLogWrittenText[] = "完整列表: ";
const char kLogNotWrittenText[] = "完整列表未能写入: ";
const char kLineEnd[] = "\r\n";

std::string Line(const FailedItem& item) {
    return std::string(FailureText(item.what)) + ": " + item.name;
}

}  // namespace

void FailureList::AddOnce(Failure what, const std::string& name) {
    const std::string key = LowerAsciiDbcsCopy(name);
    for (const FailedItem& item : items_) {
        if (item.what == what && LowerAsciiDbcsCopy(item.name) == key)
            return;
    }
    Add(what, name);
}

const char* FailureText(Failure what) {
    switch (what) {
        case Failure::kChecked:
            return "校验失败, 已写入";
        case Failure::kCheckedKept:
            return "校验失败, 原文件未改动";
        case Failure::kMissing:
            return "安装包中没有";
        case Failure::kWrite:
            return "无法写入";
        case Failure::kDelete:
            return "无法删除";
        case Failure::kLibrary:
            return "资源安装库未能运行";
        case Failure::kWriteInUse:
            return "无法写入 (文件正被其他程序使用)";
        case Failure::kWriteReadOnly:
            return "无法写入 (文件只读)";
        case Failure::kWriteDenied:
            return "无法写入 (拒绝访问)";
        case Failure::kDeleteInUse:
            return "无法删除 (文件正被其他程序使用)";
        case Failure::kDeleteReadOnly:
            return "无法删除 (文件只读)";
        case Failure::kDeleteDenied:
            return "无法删除 (拒绝访问)";
        case Failure::kLinkLeft:
            return "指向别处的链接, 没有跟随也没有删除";
        case Failure::kFolderLeft:
            return "文件夹未能进入, 连同其内容留在原处";
        case Failure::kMarkLeft:
            return "注册表中的安装记录无法删除";
        case Failure::kChangedKept:
            return "安装后已被改动, 保留未动";
        case Failure::kPlayersKept:
            return "不是汉化包的文件, 保留未动";
        case Failure::kRecordDamaged:
            return "安装记录已损坏, 按没有安装记录的方式卸载";
        case Failure::kNoEarlier:
            return "原来的文件的备份缺失或没有通过校验, 未能还原";
        case Failure::kWriteLink:
            return "是链接, 未写入";
    }
    return "";
}

Failure WriteFailure(FileFault cause) {
    switch (cause) {
        case FileFault::kInUse:
            return Failure::kWriteInUse;
        case FileFault::kReadOnly:
            return Failure::kWriteReadOnly;
        case FileFault::kDenied:
            return Failure::kWriteDenied;
        case FileFault::kLink:
            return Failure::kWriteLink;
        default:
            return Failure::kWrite;
    }
}

Failure RemoveFailure(FileFault cause) {
    switch (cause) {
        case FileFault::kInUse:
            return Failure::kDeleteInUse;
        case FileFault::kReadOnly:
            return Failure::kDeleteReadOnly;
        case FileFault::kDenied:
            return Failure::kDeleteDenied;
        case FileFault::kLink:
            return Failure::kLinkLeft;
        case FileFault::kNotListed:
            return Failure::kFolderLeft;
        default:
            return Failure::kDelete;
    }
}

std::string FailureLogText(const FailureList& failures, const char* heading) {
    std::string text = heading;
    text += kLineEnd;
    for (const FailedItem& item : failures.items())
        text += Line(item) + kLineEnd;
    return text;
}

std::string FailureSummary(const FailureList& failures,
                           const char* heading,
                           const std::string& logPath,
                           bool logWritten) {
    char head[256];
    std::snprintf(head, sizeof head, heading, unsigned(failures.size()));
    std::string text = head;
    text += kLineEnd;
    size_t named = 0;
    for (const FailedItem& item : failures.items()) {
        if (named++ == kNamedFailures) {
            text += std::string(kMoreText) + kLineEnd;
            break;
        }
        text += "    " + Line(item) + kLineEnd;
    }
    text += (logWritten ? kLogWrittenText : kLogNotWrittenText) + logPath;
    return text;
}

std::string RelativeTo(const std::string& folder, const std::string& path) {
    if (folder.empty() || path.size() <= folder.size() + 1)
        return path;
    const char separator = path[folder.size()];
    if (separator != '\\' && separator != '/')
        return path;
    if (LowerAsciiDbcsCopy(path.substr(0, folder.size())) != LowerAsciiDbcsCopy(folder))
        return path;
    return path.substr(folder.size() + 1);
}
