#include "ModelStateGuard.h"

ModelStateGuard::ModelStateGuard()
    : Keys{TDBServerInfo::FilteredProcessSortKey, TDBServerInfo::ProcessSortKey,
           TDBServerInfo::UserSortKey, TDBServerInfo::DatabaseSortKey},
      Ascending{TDBServerInfo::FilteredProcessSortAscending, TDBServerInfo::ProcessSortAscending,
                TDBServerInfo::UserSortAscending, TDBServerInfo::DatabaseSortAscending},
      Baseline{TDBServerInfo::ProcessBaselineMode, TDBServerInfo::UserBaselineMode,
               TDBServerInfo::DatabaseBaselineMode} {}

ModelStateGuard::~ModelStateGuard() {
    TDBServerInfo::FilteredProcessSortKey = Keys[0];
    TDBServerInfo::ProcessSortKey = Keys[1];
    TDBServerInfo::UserSortKey = Keys[2];
    TDBServerInfo::DatabaseSortKey = Keys[3];
    TDBServerInfo::FilteredProcessSortAscending = Ascending[0];
    TDBServerInfo::ProcessSortAscending = Ascending[1];
    TDBServerInfo::UserSortAscending = Ascending[2];
    TDBServerInfo::DatabaseSortAscending = Ascending[3];
    TDBServerInfo::ProcessBaselineMode = Baseline[0];
    TDBServerInfo::UserBaselineMode = Baseline[1];
    TDBServerInfo::DatabaseBaselineMode = Baseline[2];
}
