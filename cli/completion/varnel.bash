# bash completion for varnel; installed as share/bash-completion/completions/varnel.
# Keep the option lists in step with cli/main.cpp (the test suite checks them).
_varnel() {
  local cur prev words cword
  _init_completion || return
  local commands="check decrypt encrypt show"
  local command="" i
  for ((i = 1; i < cword; i++)); do
    case "${words[i]}" in check | decrypt | encrypt | show) command=${words[i]}; break ;; esac
  done
  case "$prev" in
    --cipher) COMPREPLY=($(compgen -W "aes-256 aes-128 rc4-128" -- "$cur")); return ;;
    --output-dir) _filedir -d; return ;;
    --password-file | --input-password-file | --batch | --identity-password-file) _filedir; return ;;
    --recipient | --owner-recipient) _filedir '@(pem|crt|cer|der)'; return ;;
    --identity | --input-identity | --verify-identity) _filedir '@(p12|pfx|pem)'; return ;;
    -u | --user-password | -o | --owner-password | --password | --input-password | --identity-password | -p | --permissions | --suffix | -j | --jobs)
      return ;;
  esac
  local options
  case "$command" in
    "") COMPREPLY=($(compgen -W "$commands --help --version" -- "$cur")); return ;;
    encrypt) options="--user-password --owner-password --password-file --permissions --cipher --output-dir --suffix
                      --batch --jobs --fail-fast --json --quiet --no-repair --input-password --input-password-file
                      --verify --invalidate-signatures --recipient --owner-recipient --allow-any-certificate
                      --input-identity --verify-identity --identity-password --identity-password-file --help" ;;
    decrypt) options="--password --password-file --identity --identity-password --identity-password-file --no-repair
                      --help" ;;
    check) options="--password --password-file --identity --identity-password --identity-password-file --help" ;;
    show) options="--password --password-file --identity --identity-password --identity-password-file --json --help" ;;
  esac
  if [[ "$cur" == -* ]]; then
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
  else
    _filedir pdf
  fi
}
complete -F _varnel varnel
