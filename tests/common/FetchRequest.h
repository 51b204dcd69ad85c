#pragma once

// The request a host sends to bring a project's files into its folder.

#include <bimcore/platform/platformsvc/CentralSvcEventFactory.h>

#include <QString>

inline FileProcessParams fetchRequest(const QString& projectKey, const QString& folder)
{
    FileProcessParams params;
    params.m_projectKey = projectKey.toStdWString();
    params.m_projectPath = folder.toStdWString();
    params.m_operation = PlatformSvcComm::kFetchProjectFilesOperation;
    return params;
}
