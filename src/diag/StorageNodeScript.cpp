// The storage node's collection script. It runs as the deployment tool's owner, asks the
// tool for every cluster's ansible and cluster logs of the last three days, packs what the
// tool left in the owner's home directory into "<home>/<name>.tar.gz", and removes its own
// temporary files.
#include "diag/StorageNode.h"

namespace diag {

const char* const collectionScript = R"SH(#!/bin/sh
export KL_PUBKEY=1
name="$1"
owner="$2"
home="/home/$owner"
archive="$home/$name.tar"
deploy=/opt/kolvra/bin/kl_deploy
randomName() {
    tr -dc 'A-Za-z0-9' < /dev/urandom | head -c 13
}
clusterList="/tmp/$(randomName)"
outputs=""
$deploy --show_all_clusters | grep "Cluster name:" | awk '{print $3}' > "$clusterList"
echo "### Start to collect logs..."
echo "### Remove existing log tar file first"
if ! rm -f "$archive" "$archive.gz"; then
    echo "Failed to delete $archive"
    rm -f "$clusterList"
    exit 255
fi
echo "Succeed to delete $archive"
echo "Cluster names are saved in $clusterList"

# addLog LABEL PATH MARKER: adds PATH, found in the owner's home, as "./MARKER<rest>".
addLog() {
    if [ -z "$2" ] || [ ! -f "$2" ]; then
        echo "$1 doesn't exist"
        return
    fi
    member="./$3${2##*/$3}"
    echo "Running command: tar rvf $archive -C $home/ $member"
    tar rvf "$archive" -C "$home/" "$member"
}

# fetchLogs KIND OPTION SEPARATOR MARKER: one kind of logs of the current cluster.
fetchLogs() {
    output="/tmp/$cluster$(randomName)"
    outputs="$outputs $output"
    command="$deploy $2 --cluster_name $cluster --log_days 3"
    echo "### Fetch $1 logs"
    echo "Running command: $command"
    echo "Output file is $output"
    $command > "$output" 2>&1
    tarball=$(grep "tar.gz" "$output" | grep "1" | awk -F "$3" '{print $2}' | head -n 1)
    xml=$(grep "\.xml" "$output" | grep "1" | awk -F "$3" '{print $2}' | head -n 1)
    addLog "$1 Log Tar.gz" "$tarball" "$4"
    addLog "$1 Log Xml" "$xml" "$4"
}

for cluster in $(cat "$clusterList"); do
    echo "### Processing cluster $cluster"
    fetchLogs ansible --fetch_ansible_logs " to " "logs."
    fetchLogs cluster --fetch_cluster_logs " is " "sysdump-kolvra."
done
rm -f "$clusterList" $outputs

if [ -f "$archive" ]; then
    echo "Running command: gzip $archive"
    gzip "$archive"
    if [ -f "$archive.gz" ]; then
        echo "### $archive.gz is created"
        exit 0
    fi
fi
echo "$archive.gz ### doesn't exist, failed to collect log"
exit 255
)SH";

}  // namespace diag
