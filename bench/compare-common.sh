# Sourced by the compare scripts. compare_items WORK ITEM...: prints "ITEM: same" or
# "ITEM: DIFFERENT" for each ITEM.md5 the runs wrote under WORK/before and WORK/after (an item that
# was not compared is skipped) and sets status to 1 when anything differs.
status=0
compare_items() {
  work=$1; shift
  for item in "$@"; do
    [ -f "$work/before/$item.md5" ] || continue
    if cmp -s "$work/before/$item.md5" "$work/after/$item.md5"; then
      echo "$item: same"
    else
      echo "$item: DIFFERENT"
      status=1
    fi
  done
}
