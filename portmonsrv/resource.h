// String-table ids of the monitor's resources.
#pragma once

#define IDS_PORT_DESCRIPTION 500
#define IDS_MONITOR_NAME 507
