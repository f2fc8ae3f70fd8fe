#pragma once

#include "ListEntry.h"
#include "core/index/FileItem.h"
#include "core/index/ShellFileMetadata.h"

#include <QMetaType>
#include <QString>
#include <variant>
#include <vector>

namespace runel {

// The HUD's execution state, kept by the view model and drawn by the HUD views. A plain value.
// Two values are equal when they are the same case with equal payloads; different cases never
// are.
class ExecutionStatus {
public:
    enum class Kind { awaitingArgument, showingList, failed, idle, runningForeground, succeeded };

    ExecutionStatus() = default; // idle

    static ExecutionStatus awaitingArgument(ScriptArgument argument, FileItem file);
    static ExecutionStatus showingList(std::vector<ListEntry> entries);
    static ExecutionStatus failed(QString message);
    static ExecutionStatus idle() { return {}; }
    static ExecutionStatus runningForeground();
    static ExecutionStatus succeeded();

    Kind kind() const { return Kind(m_value.index()); }
    bool is(Kind kind) const { return this->kind() == kind; }

    // The payload of the case; null when the value is another case.
    const ScriptArgument *argument() const;
    const FileItem *file() const;
    const std::vector<ListEntry> *entries() const;
    const QString *message() const;

    bool operator==(const ExecutionStatus &) const = default;

private:
    struct AwaitingArgument {
        ScriptArgument argument;
        FileItem file;
        bool operator==(const AwaitingArgument &) const = default;
    };
    struct ShowingList {
        std::vector<ListEntry> entries;
        bool operator==(const ShowingList &) const = default;
    };
    struct Failed {
        QString message;
        bool operator==(const Failed &) const = default;
    };
    struct Idle {
        bool operator==(const Idle &) const = default;
    };
    struct RunningForeground {
        bool operator==(const RunningForeground &) const = default;
    };
    struct Succeeded {
        bool operator==(const Succeeded &) const = default;
    };
    // Alternatives in the order of Kind.
    using Value
        = std::variant<AwaitingArgument, ShowingList, Failed, Idle, RunningForeground, Succeeded>;

    template<typename Case>
    explicit ExecutionStatus(Case value)
        : m_value(std::move(value))
    { }

    Value m_value = Idle {};
};

} // namespace runel

Q_DECLARE_METATYPE(runel::ExecutionStatus)
