#pragma once

// The store's keys that more than one program of the prefix reads or writes: the panel's guard
// page, the guard itself and the services starter meet at these.
namespace StoreKeys {

// The command lines started when the desktop session starts, as Windows starts its services.
inline constexpr char RunServices[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices";

// The guard's settings, under the machine's branch.
inline constexpr char GuardDriver[] = "System\\CurrentControlSet\\Services\\VXD\\WinGuard";

} // namespace StoreKeys
