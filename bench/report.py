# The benchmark's figures: what one round records and the summary over rounds.
import statistics

import procs

MIB = 1024.0


def kind_of(pid):
    argv = procs.command(pid)
    if "app" in argv and "serve" in argv:
        return "backend"
    comm = procs.name(pid)
    if comm.startswith("WebKitWebProces"):
        return "web"
    if comm.startswith("WebKitNetworkPr"):
        return "network"
    return "other"


def split_tree(root, members):
    """PSS in MiB by kind, and how long after the root each kind's first process started."""
    pss = {"shell": 0.0, "backend": 0.0, "web": 0.0, "network": 0.0, "other": 0.0}
    own = dict(pss)
    count = dict.fromkeys(pss, 0)
    starts = {}
    cpu = 0.0
    root_start = procs.start_ticks(root)
    backend_pids = set()
    for pid in members:
        kind = "shell" if pid == root else kind_of(pid)
        if kind == "other" and procs.stat_fields(pid) and int(procs.stat_fields(pid)[1]) in backend_pids:
            kind = "backend"
        if kind == "backend":
            backend_pids.add(pid)
        proportional, without_files = procs.memory_kib(pid)
        pss[kind] += proportional / MIB
        own[kind] += without_files / MIB
        count[kind] += 1
        cpu += procs.cpu_seconds(pid)
        start = procs.start_ticks(pid)
        if kind != "shell" and start is not None and root_start is not None:
            offset = (start - root_start) / procs.TICK
            starts[kind] = min(starts.get(kind, offset), offset)
    others = len([pid for pid in procs.web_processes() if pid not in members])
    return pss, own, count, starts, cpu, others


def app_round(pid, members, ready, prefix="app"):
    pss, own, count, starts, cpu, others = split_tree(pid, sorted(members))
    row = {"ready": ready, "pss": sum(pss.values()), "pss_nobackend": sum(pss.values()) - pss["backend"],
           "own_nobackend": sum(own.values()) - own["backend"],
           "processes": sum(count.values()) - count["backend"], "cpu": cpu, "others": others}
    for kind, value in pss.items():
        row[f"pss_{kind}"] = value
    for kind, value in starts.items():
        row[f"start_{kind}"] = value
    return {f"{prefix}_{key}": value for key, value in row.items()}


def bare_round(window, members, server, server_ready, window_ready):
    pss, own, count, starts, cpu, others = split_tree(window, sorted(members))
    row = {"bare_server": server_ready, "bare_window": window_ready, "bare_ready": server_ready + window_ready,
           "bare_pss": sum(pss.values()), "bare_own": sum(own.values()), "bare_processes": sum(count.values()),
           "bare_server_pss": procs.memory_kib(server)[0] / MIB, "bare_cpu": cpu, "bare_others": others}
    for kind, value in pss.items():
        row[f"bare_pss_{kind}"] = value
    for kind, value in starts.items():
        row[f"bare_start_{kind}"] = value
    return row


def round_line(number, row):
    label = "warm-up" if number == 0 else f"round {number}"
    parts = [label]
    for prefix in app_prefixes(row):
        parts.append(f"{prefix} {row[prefix + '_ready']:.3f} s {row[prefix + '_pss']:.0f} MiB")
    parts.append(f"bare {row['bare_server']:.3f}+{row['bare_window']:.3f} s {row['bare_pss']:.0f} MiB")
    if "backend_answer" in row:
        parts.append(f"backend alone {row['backend_answer']:.3f} s")
    return "  ".join(parts)


def app_prefixes(row):
    return [key[: -len("_ready")] for key in row if key.endswith("_ready") and not key.startswith("bare")]


def line(label, values, unit, digits):
    if not values:
        return
    text = f"  {label:<52}" + "".join(f"{v:>9.{digits}f}" for v in
                                       (statistics.median(values), min(values), max(values)))
    print(f"{text}  {unit}")


def summary(rounds, args, load_before, load_after):
    def col(key):
        return [r[key] for r in rounds if key in r]

    has_app = "app_ready" in rounds[0]
    print(f"Tarvo Studio launch and memory, {len(rounds)} rounds after one warm-up, "
          f"settle {args.settle} s, readiness polled every 2 ms")
    print(f"load average before {load_before:.2f}, after {load_after:.2f} (2 cores shared with other work)")
    if args.env or args.app_env or args.bare_arg:
        print(f"options: env {args.env} app-env {args.app_env} bare-window {args.bare_arg}")
    print(f"  {'':<52}{'median':>9}{'min':>9}{'max':>9}")
    print("Launch to page ready")
    if has_app:
        line("application: exec to GET /api/hello", col("app_ready"), "s", 3)
    line("bare server: exec to first answer", col("bare_server"), "s", 3)
    line("bare window: exec to GET /api/hello", col("bare_window"), "s", 3)
    line("bare total (server + window)", col("bare_ready"), "s", 3)
    if has_app:
        line("reference backend alone: exec to first answer", col("backend_answer"), "s", 3)
        line("application: its backend started after (10 ms steps)", col("app_start_backend"), "s", 2)
        line("application: its web process started after", col("app_start_web"), "s", 2)
    line("bare window: its web process started after", col("bare_start_web"), "s", 2)
    print("Proportional memory (PSS) once ready")
    if has_app:
        line("application tree", col("app_pss"), "MiB", 1)
        line("  backend", col("app_pss_backend"), "MiB", 1)
        line("  tree without the backend", col("app_pss_nobackend"), "MiB", 1)
        line("    shell (tarvo-studio)", col("app_pss_shell"), "MiB", 1)
        line("    WebKitWebProcess", col("app_pss_web"), "MiB", 1)
        line("    WebKitNetworkProcess", col("app_pss_network"), "MiB", 1)
        line("    other", col("app_pss_other"), "MiB", 1)
    line("bare window tree", col("bare_pss"), "MiB", 1)
    line("    bare window", col("bare_pss_shell"), "MiB", 1)
    line("    WebKitWebProcess", col("bare_pss_web"), "MiB", 1)
    line("    WebKitNetworkProcess", col("bare_pss_network"), "MiB", 1)
    line("    other", col("bare_pss_other"), "MiB", 1)
    line("bare server", col("bare_server_pss"), "MiB", 1)
    print("PSS without mapped files (anonymous and shared memory: does not depend on other programs)")
    if has_app:
        line("application tree without the backend", col("app_own_nobackend"), "MiB", 1)
    line("bare window tree", col("bare_own"), "MiB", 1)
    print("Processes in the tree (backend excluded), and WebKit web processes of others on the machine")
    if has_app:
        line("application tree", col("app_processes"), "", 0)
    line("bare window tree", col("bare_processes"), "", 0)
    line("web processes outside the measured tree", col("app_others") + col("bare_others"), "", 0)
    print("CPU time of the tree once ready (user + system)")
    if has_app:
        line("application tree", col("app_cpu"), "s", 2)
    line("bare window tree", col("bare_cpu"), "s", 2)
    if not has_app:
        return
    print("Ratios (each round's application against the same round's bare pair)")
    for prefix in sorted(app_prefixes(rounds[0]), key=lambda p: (p != "app", p)):
        ratios(rounds, prefix)


def ratios(rounds, prefix):
    def col(key):
        return [r[key] for r in rounds]

    print("application as built" if prefix == "app" else prefix)
    if prefix != "app":
        line("launch to page ready", col(prefix + "_ready"), "s", 3)
        line("its backend started after", col(prefix + "_start_backend"), "s", 2)
        line("its web process started after", col(prefix + "_start_web"), "s", 2)
        line("PSS of the tree without the backend", col(prefix + "_pss_nobackend"), "MiB", 1)
        line("PSS without files, tree without the backend", col(prefix + "_own_nobackend"), "MiB", 1)
    launch = [r[prefix + "_ready"] / r["bare_ready"] for r in rounds]
    memory = [r[prefix + "_pss_nobackend"] / r["bare_pss"] for r in rounds]
    private = [r[prefix + "_own_nobackend"] / r["bare_own"] for r in rounds]
    line("launch: application / (bare window + bare server)", launch, "goal <= 1.15", 3)
    line("memory: application tree without backend / bare tree", memory, "goal <= 1.00", 3)
    line("  the same without mapped files", private, "", 3)
    launch_m = statistics.median(col(prefix + "_ready")) / statistics.median(col("bare_ready"))
    memory_m = statistics.median(col(prefix + "_pss_nobackend")) / statistics.median(col("bare_pss"))
    print(f"  ratio of the medians: launch {launch_m:.3f}, memory {memory_m:.3f}")
