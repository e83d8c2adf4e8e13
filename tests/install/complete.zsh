# zsh -f complete.zsh FUNCTION_DIR LINES_FILE OUT_PREFIX
# zsh's completion needs its line editor, hence an interactive zsh on a
# pseudo-terminal, with FUNCTION_DIR in its function path. One widget completes
# every line of LINES_FILE in turn from inside the editor, so no keystroke meets
# the terminal between two commands (where its line discipline, not the editor,
# would read them). compadd is wrapped to write the candidates for line N to
# OUT_PREFIX.N; the widget ends by running a command that prints a marker.
zmodload zsh/zpty
dir=$1 lines=$2 out=$3
zpty z 'PS1="ZCP> " TERM=vt100 zsh -f -i'
# Each write waits for the prompt the previous one leads to.
zpty -r z reply '*ZCP> *'
zpty -w z "fpath=(${(q)dir} \$fpath); autoload -Uz compinit; compinit -u -D"
zpty -r z reply '*ZCP> *'
zpty -w z "ZC_LINES=(\"\${(@f)\$(<${(q)lines})}\"); ZC_OUT=${(q)out}"
zpty -r z reply '*ZCP> *'
zpty -w z 'compadd() {
  if [[ ${@[1,(i)(-|--)]} == *-(O|A|D)\ * ]]; then builtin compadd "$@"; return; fi
  local -a hits; builtin compadd -A hits "$@"
  (( $#hits )) || return 1
  print -rl -- $hits >>$ZC_FILE
  builtin compadd -U -Q ""
}'
zpty -r z reply '*ZCP> *'
zpty -w z 'zc-run() {
  integer n=0; local l
  for l in $ZC_LINES; do
    n+=1; ZC_FILE=$ZC_OUT.$n; : >$ZC_FILE
    BUFFER=$l; CURSOR=$#BUFFER
    zle complete-word
  done
  BUFFER="print ZC\"\"DONE"; zle accept-line
}; zle -N zc-run; bindkey "\ez" zc-run'
zpty -r z reply '*ZCP> *'
zpty -w -n z $'\ez'
zpty -r z reply '*ZCDONE*'
zpty -d z
