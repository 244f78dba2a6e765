// Resource identifiers of nomvera.exe (winapp/nomvera.rc). Plain defines:
// windres reads this header too.
#pragma once

#define NOMVERA_IDI_APP 1
#define NOMVERA_IDI_CREATE 2
#define NOMVERA_IDI_DELETE 3
