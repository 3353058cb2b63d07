// Moving a staged package file between flash and the RAM disk.
#pragma once

// Copies source to destination in bounded chunks, makes the copy durable and
// only then deletes source. True when the file now lies at destination only;
// on any failure (source unreadable, destination not creatable, a short write
// on a full disk, a failed flush or close) the partial copy is deleted and
// source stays in place. Neither name is written or removed through a link;
// what stands at destination and is not a regular file of one link is
// replaced.
bool moveFile(const char* source, const char* destination);

// The same for a file open as descriptor, which is copied from its start and
// never opened again by its name: on success descriptor is closed and then
// holds the copy, open for reading; on failure both stay as they were.
bool moveOpenFile(int& descriptor, const char* source, const char* destination);
