# Sourced by the i2cget and i2cset stubs after stub-call.sh: the simulated
# I2C device. Only address 9 on bus 0 answers; each register is a file under
# $LINEWATCH_SIM_DIR/i2c holding "0x%02x", and one never written reads 0x00.
# Takes the options and BUS CHIP REGISTER off the arguments and sets `reg`;
# a bad argument ends the command with status 1, as the tools do.
# shellcheck disable=SC2034,SC2154 # dir comes from stub-call.sh, regs is for the stub
regs=$dir/i2c

fail() {
    echo "Error: $*" >&2
    exit 1
}

# A number as the tools take it: decimal, 0x hexadecimal or 0 octal.
number() {
    case $1 in
    0[xX]*) case ${1#0[xX]} in '' | *[!0-9a-fA-F]*) return 1 ;; esac ;;
    '' | *[!0-9]*) return 1 ;;
    esac
    [ ${#1} -le 6 ] && (echo $(($1))) 2>/dev/null
}

while [ $# -gt 0 ]; do
    case $1 in
    -f | -y | -a) shift ;;
    -*) fail "option $1 is not simulated" ;;
    *) break ;;
    esac
done
[ $# -ge 3 ] || fail "bus, chip address and register are required"
bus=$(number "$1") && chip=$(number "$2") || fail "bus and chip address must be numbers"
[ "$bus" = 0 ] && [ "$chip" = 9 ] || fail "no device at address $2 on bus $1"
reg=$(number "$3") && [ "$reg" -le 255 ] || fail "register $3 is invalid"
shift 3
