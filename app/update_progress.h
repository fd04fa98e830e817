// The progress the update shows while it writes its payload: the total is the payload's stored
// record bytes, counted by ExtractMember as it reads them.
#pragma once

// Starts the progress for the payload members of the open updater archive.
void UpdateProgressBegin();
// Takes the progress away (before any result is shown).
void UpdateProgressEnd();
