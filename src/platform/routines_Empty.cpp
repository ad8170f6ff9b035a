// Keeps the Windows platform library non-empty while units are added.
