//===- Ec2InstanceChoice.h - Which instance of an Amazon description -----===//
//
// An Amazon description (a DescribeInstances response) may list several
// instances, and the converter reads the first.  A restore chooses one
// (--instance-id, else the request's vmInfo.strGUID when the description
// lists it, else the first, with a warning naming the others) and restores
// the description with that instance alone.  Inside the jobs: these throw
// JobFailure.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "Job.h"

#include "model/Contexts.h"

#include <functional>
#include <string>

namespace zyjobs {

// The instance to restore from the request's backed-up Amazon description:
// instanceId (which must be listed), else as above; empty when the request
// has no description or it lists one instance.  A choice among several is
// a warning to observer.  pathOf gives the path of a backed-up file by its
// index name.
std::string ChooseEc2Instance(
    const RestoreCtx& request,
    const std::function<std::string(const std::string&)>& pathOf,
    const std::string& instanceId, IJobObserver& observer);

// The instance to read of the Amazon description text (from path), chosen
// as above, preferred standing for the request's vmInfo.strGUID; empty when
// the description lists one instance.
std::string ChooseListedInstance(const std::string& path,
                                 const std::string& text,
                                 const std::string& preferred,
                                 const std::string& instanceId,
                                 IJobObserver& observer);

// Restores an Amazon description keeping instance id alone; the file to is
// created, never replaced.
void RestoreEc2Description(const std::string& from, const std::string& to,
                           const std::string& id);

}  // namespace zyjobs
