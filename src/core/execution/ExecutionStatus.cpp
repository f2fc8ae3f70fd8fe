#include "ExecutionStatus.h"

namespace runel {

ExecutionStatus ExecutionStatus::awaitingArgument(ScriptArgument argument, FileItem file)
{
    return ExecutionStatus(AwaitingArgument { std::move(argument), std::move(file) });
}

ExecutionStatus ExecutionStatus::showingList(std::vector<ListEntry> entries)
{
    return ExecutionStatus(ShowingList { std::move(entries) });
}

ExecutionStatus ExecutionStatus::failed(QString message)
{
    return ExecutionStatus(Failed { std::move(message) });
}

ExecutionStatus ExecutionStatus::runningForeground()
{
    return ExecutionStatus(RunningForeground {});
}

ExecutionStatus ExecutionStatus::succeeded()
{
    return ExecutionStatus(Succeeded {});
}

const ScriptArgument *ExecutionStatus::argument() const
{
    const auto *value = std::get_if<AwaitingArgument>(&m_value);
    return value ? &value->argument : nullptr;
}

const FileItem *ExecutionStatus::file() const
{
    const auto *value = std::get_if<AwaitingArgument>(&m_value);
    return value ? &value->file : nullptr;
}

const std::vector<ListEntry> *ExecutionStatus::entries() const
{
    const auto *value = std::get_if<ShowingList>(&m_value);
    return value ? &value->entries : nullptr;
}

const QString *ExecutionStatus::message() const
{
    const auto *value = std::get_if<Failed>(&m_value);
    return value ? &value->message : nullptr;
}

} // namespace runel
